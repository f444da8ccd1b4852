"""Reads a network GeoTIFF, analyses it, writes its TACO image as a GeoTIFF with the river's
georeferencing, and shows it.

    /usr/bin/python3 examples/taco_geotiff.py RIVER.tif TACO.tif [PICTURE.png]

Without PICTURE the image opens in a window; with it, it is saved there.
"""

import sys

import matplotlib
import numpy as np
from osgeo import gdal

import drainshape

gdal.UseExceptions()


def main(river_path, taco_path, picture_path=None):
    river = gdal.Open(river_path)
    band = river.GetRasterBand(1)
    network = band.ReadAsArray()
    if band.GetNoDataValue() is not None:  # NoData is background, as for drainshape run
        network[network == band.GetNoDataValue()] = 0

    result = drainshape.analyse(network, window=13, regional=49, mnc=1, treatment="taco")
    taco = result.images["TAC_DN"]

    out = gdal.GetDriverByName("GTiff").Create(
        taco_path, river.RasterXSize, river.RasterYSize, 1, gdal.GDT_Byte,
        options=["COMPRESS=DEFLATE"],
    )
    out.SetGeoTransform(river.GetGeoTransform())
    out.SetProjection(river.GetProjection())
    out.SetMetadata({key: str(value) for key, value in result.parameters.items()})
    out_band = out.GetRasterBand(1)
    out_band.SetNoDataValue(0)
    out_band.WriteArray(taco)
    out = None  # closes and writes the file

    if picture_path is not None:
        matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    # Meanders below 100 in blues, dendritic structures from 100 to 200 in reds; 0 (no network)
    # and 201 to 255 (the low bytes of negative values of crowded windows) left out.
    shown = np.ma.masked_where((taco == 0) | (taco > 200), taco)
    x0, dx, _, y0, _, dy = river.GetGeoTransform()
    extent = (x0, x0 + dx * river.RasterXSize, y0 + dy * river.RasterYSize, y0)
    fig, ax = plt.subplots(figsize=(7, 6))
    ax.set_facecolor("0.25")  # dark, so that the straight branches (near 100, white) show
    picture = ax.imshow(shown, cmap="RdBu_r", vmin=0, vmax=200, extent=extent,
                        interpolation="nearest")
    fig.colorbar(picture, ax=ax, label="TACO (below 100: meanders; 100 to 200: dendritic)")
    ax.set_title(f"TACO, window {result.parameters['window']}, "
                 f"{result.processed} network pixels")
    if picture_path is None:
        plt.show()
    else:
        fig.savefig(picture_path, dpi=100)


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    main(*sys.argv[1:])
