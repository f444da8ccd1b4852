"""The Processing algorithms: parameter definitions and the arguments of drainshape."""

import json
import os

from qgis.core import (QgsProcessing, QgsProcessingAlgorithm, QgsProcessingContext,
                       QgsProcessingException, QgsProcessingOutputFolder,
                       QgsProcessingOutputHtml, QgsProcessingOutputNumber,
                       QgsProcessingOutputRasterLayer, QgsProcessingOutputString,
                       QgsProcessingOutputVectorLayer, QgsProcessingParameterBoolean,
                       QgsProcessingParameterCrs, QgsProcessingParameterEnum,
                       QgsProcessingParameterExtent, QgsProcessingParameterFolderDestination,
                       QgsProcessingParameterNumber, QgsProcessingParameterRasterDestination,
                       QgsProcessingParameterRasterLayer, QgsProcessingParameterString,
                       QgsProcessingParameterVectorLayer)

from . import runner, styles

Number = QgsProcessingParameterNumber

# Real-valued layers of `drainshape run --layers` (`<name>_<LAYER>.tif`); True: both treatments only.
LAYERS = [("TACO", False), ("TACO_RI", False), ("FDP", True), ("FDP2", True), ("FDP_R2", True),
          ("FDP2_R2", True), ("FDP_RI", True), ("FDP_RI2", True)]
# 8-bit images of `drainshape run --geotiff` (`<name>_<IMAGE>.tif`), written when the
# executable has no --layers.
IMAGES = [("TAC_DN", False), ("TAC_RI", False), ("FDP_DN", True), ("FDP_DN2", True),
          ("FDP_RI", True), ("FDP_RI2", True)]
CHECK_NUMBERS = ["lines", "columns", "network_pixels", "isolated_pixels", "components",
                 "largest_component", "small_components", "end_pixels", "junction_pixels",
                 "loops", "blocks_2x2", "redundant_pixels", "one_pixel_wide", "verdict"]


def file_of(source):
    """The file under a layer's data source ("path|layername=x" gives path)."""
    return source.split("|")[0]


class Base(QgsProcessingAlgorithm):
    NAME = ""
    TITLE = ""
    HELP = ""

    def createInstance(self):
        return type(self)()

    def name(self):
        return self.NAME

    def displayName(self):
        return self.TITLE

    def group(self):
        return "Network" if self.NAME.startswith(("prepare", "check")) else "Analysis"

    def groupId(self):
        return self.group().lower()

    def shortHelpString(self):
        return self.HELP

    def raster(self, parameters, name, context):
        layer = self.parameterAsRasterLayer(parameters, name, context)
        if layer is None:
            raise QgsProcessingException("drainshape: {}: no raster layer".format(name))
        return file_of(layer.source())

    @staticmethod
    def given(parameters, name):
        value = parameters.get(name)
        return value is not None and value != ""


class Analyse(Base):
    NAME = "analyse"
    TITLE = "Analyse a network (FDP and TACO)"
    HELP = ("Runs drainshape run on a network raster (1 = network): the fractal dimension (FDP) "
            "and TACO of every network pixel in a moving window, and their regional means. "
            "The window sides are 13, 25, 37, 49, 61, 73, 101, 121, 181, 211, 241 or 661. "
            "The files go to the output folder under the output name: the real-valued layers "
            "<name>_<LAYER>.tif (with an executable that has no --layers, the images of "
            "--geotiff), the segments <name>_network.gpkg where the executable writes them, "
            "and with the report, <name>_report.html.")

    def initAlgorithm(self, config=None):
        self.addParameter(QgsProcessingParameterRasterLayer("INPUT", "Network raster"))
        self.addParameter(Number("WINDOW", "Window side", Number.Integer, 13, False, 13, 661))
        self.addParameter(Number("REGIONAL", "Regional window side", Number.Integer, 49, False,
                                 13, 661))
        self.addParameter(Number("MNC", "Maximum number of confluents in a meander",
                                 Number.Integer, 1, False, 0, 3))
        self.addParameter(QgsProcessingParameterEnum(
            "TREATMENT", "Treatment", ["TACO alone", "FD and TACO"], defaultValue=1))
        self.addParameter(Number("THREADS", "Threads (0: every core)", Number.Integer, 0, False,
                                 0))
        self.addParameter(QgsProcessingParameterString(
            "NAME", "Output name (default: the layer's name)", optional=True))
        self.addParameter(QgsProcessingParameterBoolean("REPORT", "Write the report", False))
        self.addParameter(QgsProcessingParameterFolderDestination("OUTPUT_FOLDER",
                                                                  "Output folder"))
        self.addOutput(QgsProcessingOutputFolder("OUTPUT_FOLDER", "Output folder"))
        for layer, _ in LAYERS:
            self.addOutput(QgsProcessingOutputRasterLayer(layer, layer))
        self.addOutput(QgsProcessingOutputVectorLayer("SEGMENTS", "Segments"))
        self.addOutput(QgsProcessingOutputHtml("REPORT", "Report"))

    def processAlgorithm(self, parameters, context, feedback):
        layer = self.parameterAsRasterLayer(parameters, "INPUT", context)
        river = self.raster(parameters, "INPUT", context)
        both = self.parameterAsEnum(parameters, "TREATMENT", context) == 1
        name = self.parameterAsString(parameters, "NAME", context) or layer.name()
        folder = self.parameterAsString(parameters, "OUTPUT_FOLDER", context)
        os.makedirs(folder, exist_ok=True)
        exe = runner.executable()
        options = runner.run_options(exe)
        real = "--layers" in options
        segments = "--segments" in options
        args = ["run", river, "--window", self.parameterAsInt(parameters, "WINDOW", context),
                "--regional", self.parameterAsInt(parameters, "REGIONAL", context),
                "--mnc", self.parameterAsInt(parameters, "MNC", context),
                "--treatment", "both" if both else "taco",
                "--threads", self.parameterAsInt(parameters, "THREADS", context),
                "--name", name, "--out", folder, "--progress", "json"]
        args += ["--layers"] if real else ["--geotiff"]
        if segments:
            args.append("--segments")
        report = self.parameterAsBool(parameters, "REPORT", context)
        if report:
            args.append("--preview")
        stages = runner.STAGES if both else ["first_pass", "smoothing"]
        runner.call(args, feedback, stages)

        results = {"OUTPUT_FOLDER": folder}
        files = [(k, "{}_{}.tif".format(name, k)) for k, fdp in (LAYERS if real else IMAGES)
                 if both or not fdp]
        if segments:
            files.append(("SEGMENTS", name + "_network.gpkg"))
        if report:
            files.append(("REPORT", name + "_report.html"))
        for key, file in files:
            path = os.path.join(folder, file)
            results[key] = path
            if key != "REPORT" and context.project() is not None:
                details = QgsProcessingContext.LayerDetails(file.rsplit(".", 1)[0],
                                                            context.project(), key)
                details.setPostProcessor(styles.post_processor(key))
                context.addLayerToLoadOnCompletion(path, details)
        return results


class Check(Base):
    NAME = "check"
    TITLE = "Check a network raster"
    HELP = ("Runs drainshape check: the summary of a network raster (values, components, ends, "
            "junctions, pixels that make it more than one pixel wide) and whether the analysis "
            "can trust it.")

    def initAlgorithm(self, config=None):
        self.addParameter(QgsProcessingParameterRasterLayer("INPUT", "Network raster"))
        for key in CHECK_NUMBERS:
            self.addOutput(QgsProcessingOutputNumber(key.upper(), key.replace("_", " ")))
        self.addOutput(QgsProcessingOutputString("TEXT", "Summary"))

    def processAlgorithm(self, parameters, context, feedback):
        river = self.raster(parameters, "INPUT", context)
        summary = json.loads(runner.call(["check", river, "--json"], feedback))
        text = runner.call(["check", river], feedback)
        feedback.pushInfo(text)
        results = {k.upper(): int(summary[k]) for k in CHECK_NUMBERS if k in summary}
        results["TEXT"] = text
        return results


class Prepare(Base):
    """The common end of the three ways of drainshape prepare."""

    def add_output(self):
        self.addParameter(QgsProcessingParameterRasterDestination("OUTPUT", "Network raster"))

    def run_prepare(self, source, options, parameters, context, feedback):
        output = self.parameterAsOutputLayer(parameters, "OUTPUT", context)
        runner.call(["prepare", source, "-o", output] + options, feedback)
        return {"OUTPUT": output}


class PrepareLines(Prepare):
    NAME = "prepare_lines"
    TITLE = "Network from river lines"
    HELP = ("Runs drainshape prepare on river lines: draws them into a network raster one "
            "pixel wide, in the target CRS at the pixel size, or on the grid of a raster.")

    def initAlgorithm(self, config=None):
        self.addParameter(QgsProcessingParameterVectorLayer(
            "INPUT", "River lines", [QgsProcessing.TypeVectorLine]))
        self.addParameter(QgsProcessingParameterString(
            "WHERE", "Features to draw (SQL condition)", optional=True))
        self.addParameter(Number("PIXEL_SIZE", "Pixel size", Number.Double, None, True, 0))
        self.addParameter(QgsProcessingParameterCrs("T_SRS", "Target CRS", optional=True))
        self.addParameter(QgsProcessingParameterExtent("EXTENT", "Extent", optional=True))
        self.addParameter(QgsProcessingParameterRasterLayer(
            "LIKE", "Raster to take the grid from", optional=True))
        self.add_output()

    def processAlgorithm(self, parameters, context, feedback):
        layer = self.parameterAsVectorLayer(parameters, "INPUT", context)
        parts = layer.source().split("|")
        options = []
        for part in parts[1:]:
            if part.startswith("layername="):
                options += ["--layer", part[len("layername="):]]
        if self.given(parameters, "WHERE"):
            options += ["--where", self.parameterAsString(parameters, "WHERE", context)]
        if self.given(parameters, "PIXEL_SIZE"):
            options += ["--pixel-size", repr(self.parameterAsDouble(parameters, "PIXEL_SIZE",
                                                                    context))]
        crs = self.parameterAsCrs(parameters, "T_SRS", context)
        if self.given(parameters, "T_SRS") and crs.isValid():
            options += ["--t-srs", crs.authid() or crs.toWkt()]
        if self.given(parameters, "EXTENT"):
            target = crs if crs.isValid() else layer.crs()
            box = self.parameterAsExtent(parameters, "EXTENT", context, target)
            options += ["--extent"] + [repr(v) for v in (box.xMinimum(), box.yMinimum(),
                                                         box.xMaximum(), box.yMaximum())]
        if self.given(parameters, "LIKE"):
            options += ["--like", self.raster(parameters, "LIKE", context)]
        return self.run_prepare(parts[0], options, parameters, context, feedback)


class PrepareRaster(Prepare):
    NAME = "prepare_raster"
    TITLE = "Network from a stream raster"
    HELP = ("Runs drainshape prepare on a stream raster: its network pixels (every value but 0 "
            "and NoData, or the value given) thinned to one pixel wide.")

    def initAlgorithm(self, config=None):
        self.addParameter(QgsProcessingParameterRasterLayer("INPUT", "Stream raster"))
        self.addParameter(Number("VALUE", "Value of the network pixels", Number.Integer, None,
                                 True))
        self.add_output()

    def processAlgorithm(self, parameters, context, feedback):
        options = []
        if self.given(parameters, "VALUE"):
            options += ["--value", self.parameterAsInt(parameters, "VALUE", context)]
        return self.run_prepare(self.raster(parameters, "INPUT", context), options, parameters,
                                context, feedback)


class PrepareDem(Prepare):
    NAME = "prepare_dem"
    TITLE = "Network from a DEM"
    HELP = ("Runs drainshape prepare --from-dem: fills the DEM, routes the flow (D8), and keeps "
            "the cells that drain at least the threshold (in cells, or in km\u00b2 for a DEM "
            "in a projection), one pixel wide.")

    def initAlgorithm(self, config=None):
        self.addParameter(QgsProcessingParameterRasterLayer("INPUT", "Elevation model"))
        self.addParameter(Number("THRESHOLD_CELLS", "Threshold (cells)", Number.Integer, None,
                                 True, 1))
        self.addParameter(Number("THRESHOLD_AREA", "Threshold (km\u00b2)", Number.Double, None,
                                 True, 0))
        self.addParameter(QgsProcessingParameterCrs("T_SRS", "Reproject to", optional=True))
        self.addParameter(Number("PIXEL_SIZE", "Cell side when reprojecting", Number.Double,
                                 None, True, 0))
        self.addParameter(QgsProcessingParameterFolderDestination(
            "KEEP_INTERMEDIATE", "Folder for the filled DEM, directions and accumulation",
            optional=True, createByDefault=False))
        self.add_output()

    def processAlgorithm(self, parameters, context, feedback):
        options = ["--from-dem"]
        if self.given(parameters, "THRESHOLD_CELLS"):
            options += ["--threshold-cells",
                        self.parameterAsInt(parameters, "THRESHOLD_CELLS", context)]
        if self.given(parameters, "THRESHOLD_AREA"):
            options += ["--threshold-area",
                        repr(self.parameterAsDouble(parameters, "THRESHOLD_AREA", context))]
        crs = self.parameterAsCrs(parameters, "T_SRS", context)
        if self.given(parameters, "T_SRS") and crs.isValid():
            options += ["--t-srs", crs.authid() or crs.toWkt()]
        if self.given(parameters, "PIXEL_SIZE"):
            options += ["--pixel-size",
                        repr(self.parameterAsDouble(parameters, "PIXEL_SIZE", context))]
        if self.given(parameters, "KEEP_INTERMEDIATE"):
            folder = self.parameterAsString(parameters, "KEEP_INTERMEDIATE", context)
            os.makedirs(folder, exist_ok=True)
            options += ["--keep-intermediate", folder]
        return self.run_prepare(self.raster(parameters, "INPUT", context), options, parameters,
                                context, feedback)


ALL = [Analyse, Check, PrepareLines, PrepareRaster, PrepareDem]
