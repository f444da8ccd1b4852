"""Styles of the layers loaded from an analysis: the colours of drainshape's pictures."""

from qgis.core import (QgsColorRampShader, QgsGraduatedSymbolRenderer,
                       QgsProcessingLayerPostProcessorInterface, QgsRasterShader,
                       QgsRendererRange, QgsSingleBandPseudoColorRenderer, QgsStyle, QgsSymbol)
from qgis.PyQt.QtGui import QColor

# Meanders (TACO below 100) from dark to light blue, dendritic structures light orange to dark
# red, as in the report's pictures.
MEANDERS = ["#08306b", "#08519c", "#2171b5", "#4292c6", "#6baed6", "#9ecae1", "#c6dbef"]
DENDRITIC = ["#fdd0a2", "#fdae6b", "#fd8d3c", "#f16913", "#d94801", "#a63603", "#7f2704"]
TACO_LAYERS = {"TACO", "TACO_RI", "TAC_DN", "TAC_RI"}


def taco_items():
    items = [QgsColorRampShader.ColorRampItem(1 + 98 * k / 6, QColor(c))
             for k, c in enumerate(MEANDERS)]
    items += [QgsColorRampShader.ColorRampItem(100 + 100 * k / 6, QColor(c))
              for k, c in enumerate(DENDRITIC)]
    return items


def style_raster(layer, key):
    shader = QgsColorRampShader()
    if key in TACO_LAYERS:
        shader.setColorRampItemList(taco_items())
        shader.setMinimumValue(1)
        shader.setMaximumValue(200)
        shader.setClip(False)
    else:
        stats = layer.dataProvider().bandStatistics(1)
        ramp = QgsStyle.defaultStyle().colorRamp("Viridis")
        shader.setSourceColorRamp(ramp)
        shader.setColorRampType(QgsColorRampShader.Interpolated)
        shader.setMinimumValue(stats.minimumValue)
        shader.setMaximumValue(stats.maximumValue)
        shader.classifyColorRamp(10, -1)
    raster_shader = QgsRasterShader()
    raster_shader.setRasterShaderFunction(shader)
    layer.setRenderer(QgsSingleBandPseudoColorRenderer(layer.dataProvider(), 1, raster_shader))
    layer.triggerRepaint()


# Segments by mean TACO on the pictures' two-sided scale; those without a value in grey.
NO_VALUE = -1e9
SEGMENT_BOUNDS = [-1e8, 15, 30, 45, 60, 75, 90, 100, 115, 130, 145, 160, 175, 190, 1e8]


def style_segments(layer):
    def symbol(colour):
        sym = QgsSymbol.defaultSymbol(layer.geometryType())
        sym.setColor(QColor(colour))
        sym.setWidth(0.6)
        return sym

    ranges = [QgsRendererRange(NO_VALUE - 1, NO_VALUE + 1, symbol("#bdbdbd"), "no TACO value")]
    b = SEGMENT_BOUNDS
    for k, colour in enumerate(MEANDERS + DENDRITIC):
        label = ("below {:g}".format(b[1]) if k == 0 else
                 "{:g} and above".format(b[k]) if k == len(b) - 2 else
                 "{:g} to {:g}".format(b[k], b[k + 1]))
        ranges.append(QgsRendererRange(b[k], b[k + 1], symbol(colour), label))
    renderer = QgsGraduatedSymbolRenderer(
        "coalesce(\"taco_mean\", {:g})".format(NO_VALUE), ranges)
    layer.setRenderer(renderer)
    layer.triggerRepaint()


class Styler(QgsProcessingLayerPostProcessorInterface):
    def __init__(self, key):
        super().__init__()
        self.key = key

    def postProcessLayer(self, layer, context, feedback):
        if not layer or not layer.isValid():
            return
        if self.key == "SEGMENTS":
            style_segments(layer)
        else:
            style_raster(layer, self.key)


_kept = []  # QGIS does not own the post-processors: keep them alive


def post_processor(key):
    _kept.append(Styler(key))
    return _kept[-1]
