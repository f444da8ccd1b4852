from qgis.core import QgsProcessingProvider

from . import algorithms
from .runner import EXECUTABLE_SETTING

try:
    from processing.core.ProcessingConfig import ProcessingConfig, Setting
except ImportError:  # Processing plugin not loaded
    ProcessingConfig = None


class DrainshapeProvider(QgsProcessingProvider):
    def id(self):
        return "drainshape"

    def name(self):
        return "drainshape"

    def longName(self):
        return "drainshape: FDP and TACO of river networks"

    def load(self):
        if ProcessingConfig is not None:
            ProcessingConfig.settingIcons[self.name()] = self.icon()
            ProcessingConfig.addSetting(
                Setting(self.name(), EXECUTABLE_SETTING,
                        "drainshape executable (empty: found on the PATH)", "",
                        valuetype=Setting.FILE))
            ProcessingConfig.readSettings()
        self.refreshAlgorithms()
        return True

    def unload(self):
        if ProcessingConfig is not None:
            ProcessingConfig.removeSetting(EXECUTABLE_SETTING)

    def loadAlgorithms(self):
        for alg in algorithms.ALL:
            self.addAlgorithm(alg())
