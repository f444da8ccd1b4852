"""Run by `qgis --code` from scripts/qgis-screenshot: loads a network, its TACO layer and its
segments with the plugin's styles, shows the Processing Toolbox filtered on drainshape, waits
for the map to be drawn, saves the main window as a PNG and quits.

Environment: SHOT_REPO (the repository), SHOT_NETWORK, SHOT_TACO, SHOT_SEGMENTS (the layers),
SHOT_OUT (the PNG), SHOT_WIDTH (the PNG's width, the window scaled down to it)."""

import os
import sys

from qgis.core import (QgsApplication, QgsPalettedRasterRenderer, QgsProject, QgsRasterLayer,
                       QgsVectorLayer)
from qgis.PyQt.QtCore import QCoreApplication, Qt, QTimer
from qgis.PyQt.QtGui import QColor
from qgis.PyQt.QtWidgets import QDockWidget, QLineEdit
from qgis.utils import iface, loadPlugin, startPlugin

sys.path.insert(0, os.path.join(os.environ["SHOT_REPO"], "qgis"))
from drainshape import styles  # noqa: E402


def fail(message):
    sys.stderr.write("qgis-screenshot: {}\n".format(message))
    QCoreApplication.exit(1)


def layers():
    network = QgsRasterLayer(os.environ["SHOT_NETWORK"], "network")
    taco = QgsRasterLayer(os.environ["SHOT_TACO"], "TACO")
    segments = QgsVectorLayer(os.environ["SHOT_SEGMENTS"] + "|layername=segments", "segments",
                              "ogr")
    for layer in (network, taco, segments):
        if not layer.isValid():
            raise RuntimeError("{}: not a valid layer".format(layer.source()))
    # The network's pixels in light grey under the TACO layer, the rest transparent.
    network.setRenderer(QgsPalettedRasterRenderer(
        network.dataProvider(), 1,
        [QgsPalettedRasterRenderer.Class(1, QColor("#bdbdbd"), "network")]))
    styles.style_raster(taco, "TACO")
    styles.style_segments(segments)
    project = QgsProject.instance()
    for layer in (network, taco, segments):
        project.addMapLayer(layer)
    return segments


def show_panels():
    browser = iface.mainWindow().findChild(QDockWidget, "Browser")
    if browser is not None:
        browser.setVisible(False)
    if loadPlugin("drainshape"):
        startPlugin("drainshape")
    dock = iface.mainWindow().findChild(QDockWidget, "ProcessingToolbox")
    if dock is None:
        return
    dock.setVisible(True)
    dock.raise_()
    search = dock.findChild(QLineEdit)
    if search is not None:
        search.setText("drainshape")


saved = []


def save():
    if saved:
        return
    saved.append(True)
    iface.layerTreeView().expandAllNodes()
    QgsApplication.processEvents()
    width = int(os.environ.get("SHOT_WIDTH", "1200"))
    image = iface.mainWindow().grab().toImage()
    if image.width() > width:
        image = image.scaledToWidth(width, Qt.SmoothTransformation)
    if not image.save(os.environ["SHOT_OUT"], "PNG"):
        fail("{}: could not be written".format(os.environ["SHOT_OUT"]))
        return
    QgsProject.instance().setDirty(False)
    QCoreApplication.exit(0)


def start():
    try:
        segments = layers()
    except RuntimeError as e:
        fail(e)
        return
    show_panels()
    # Xvfb has no window manager to maximise the window: give it the whole screen.
    window = iface.mainWindow()
    window.setGeometry(window.screen().geometry())
    canvas = iface.mapCanvas()
    # The segments' extent with a margin; then one drawing, and a pause for the panels.
    extent = segments.extent()
    extent.scale(1.05)
    canvas.setExtent(extent)
    canvas.mapCanvasRefreshed.connect(lambda: QTimer.singleShot(2000, save))
    canvas.refresh()
    QTimer.singleShot(60000, save)  # a map that never reports being drawn


QgsApplication.processEvents()
QTimer.singleShot(1000, start)
