"""drainshape: the shape of a river drainage network, pixel by pixel.

For every pixel of a network (a raster in which the value 1 marks the network, one pixel wide
and 8-connected) the analysis measures, inside a square moving window centred on the pixel, the
box-counting fractal dimension FDP of the branch through it and its tortuosity-and-confluence
value TACO, and turns both into 8-bit images of the network, regional images and frequency
tables.

    >>> import numpy as np, drainshape
    >>> network = np.fromfile("river.raw", np.uint8).reshape(400, 400)
    >>> result = drainshape.analyse(network, window=13, regional=49)
    >>> result.images["TAC_DN"]          # uint8, the bytes of river_TAC_DN.raw
    >>> result.tables["FDP_DN"]          # the rows of river_FDP_DN.xls

``analyse`` works from memory to memory; ``run`` does what ``drainshape run`` does (the same
files) and returns the same result. Given an xarray.DataArray (as rioxarray.open_rasterio reads
a GeoTIFF), ``analyse`` returns an xarray.Dataset of the layers and images on its grid, with its
CRS and transform; xarray and rioxarray are needed for that alone.
"""

from __future__ import annotations

import dataclasses
from typing import Callable, Dict, Optional, Tuple

import numpy as np

from . import _drainshape, _xarray

__all__ = ["analyse", "run", "Result", "WINDOW_SIDES", "LAYERS", "__version__"]

__version__: str = _drainshape.__version__

#: The sides of the window menu, for ``window`` and ``regional``.
WINDOW_SIDES: Tuple[int, ...] = _drainshape.WINDOW_SIDES

#: Layer name ("TACO", "FDP", "FDP2", "FDP_R2", "FDP2_R2", "FDP_RI", "FDP_RI2", "TACO_RI") to its
#: (description, unit), those of the layers that ``drainshape run --layers`` writes.
LAYERS: Dict[str, Tuple[str, str]] = _drainshape.LAYERS


@dataclasses.dataclass(frozen=True)
class Result:
    """The products of one analysis.

    Attributes:
        images: product name ("FDP_DN", "FDP_DN2", "FDP_RI", "FDP_RI2", "TAC_DN", "TAC_RI"; the
            two "TAC_" ones alone for treatment="taco") to a uint8 array of the raster's shape,
            the bytes of the ``.raw`` file of that name.
        tables: product name (the names of ``images``, and "FDP_ER0" and "FDP_ER1", the
            frequency of the R² of the fits over all box sizes and without box side 1) to a
            float64 array with one row per row of the ``.xls`` file, its header left out, and its
            columns: class, pixels, percentage (R² tables: class, pixels).
        extremes: image name to (minimum, maximum) of its parameter, as its descriptor ends: the
            fractal dimension for the "FDP_" images, the TACO value for the "TAC_" ones.
        taco: with fields=True, float64 of the raster's shape: the TACO value of every pixel
            before any rounding, 0.0 where there is none; TAC_DN holds its image value (the
            value plus 0.5, truncated, its low 8 bits). Else None.
        fdp, fdp2: with fields=True and both treatments, float64 of the raster's shape: the
            fractal dimension of every processed pixel over all box sizes (fdp) and without box
            side 1 (fdp2), NaN where no pixel was processed. The images hold the dimension x 100
            as an image value: FDP_DN is int(100 * fdp + 0.5) at the processed pixels, to the
            last bit of the product. Else None.
        parameters: what was run: "program" ("drainshape" and its version), "engine", "treatment",
            "window", "regional" and "mnc".
        processed: how many network pixels the first pass visited.
        fdp_r2, fdp2_r2: with fields=True and both treatments, float64 of the raster's shape: the
            R² of the fit of fdp and of fdp2 at every processed pixel (the mean over the four
            placements of the boxes), NaN elsewhere; FDP_ER0 and FDP_ER1 count their classes,
            int(1000 * R² + 0.5). Else None.
        taco_ri: with fields=True, float64 of the raster's shape: the smoothed TACO field that
            TAC_RI truncates (its low 8 bits), 0.0 within the regional half side of the edges.
            Else None.
        fdp_ri, fdp_ri2: with fields=True and both treatments, float64 of the raster's shape: the
            regional mean of fdp and of fdp2 that FDP_RI and FDP_RI2 hold as image values
            (int(100 * mean + 0.5), but for a mean within a Float32 step of a half), as the
            Float32 value of the layer, NaN where the window holds no dimension and within the
            regional half side of the edges. Else None.
        segments, systems: with segments=True, numpy structured arrays, one row per segment of
            the network and per drainage system, with the columns of the layers of
            <name>_network.gpkg (see the README): ids and counts int64, 0 where there is none
            (a closed loop's nodes, an outlet's downstream); the rest float64, NaN where there
            is none. Lengths are in pixel sides for analyse, in the river's units for run.
            Else None.
        layers: with fields=True, layer name (the names of LAYERS; "TACO" and "TACO_RI" alone for
            treatment="taco") to a float32 array of the raster's shape, the cells of the
            <name>_<LAYER>.tif that ``drainshape run --layers`` writes, NaN where it has no
            value: TACO NaN where taco is 0.0, TACO_RI NaN within the regional half side of
            every edge. Else None.
    """

    images: Dict[str, np.ndarray]
    tables: Dict[str, np.ndarray]
    extremes: Dict[str, Tuple[float, float]]
    taco: Optional[np.ndarray]
    fdp: Optional[np.ndarray]
    fdp2: Optional[np.ndarray]
    parameters: Dict[str, object]
    processed: int
    fdp_r2: Optional[np.ndarray] = None
    fdp2_r2: Optional[np.ndarray] = None
    taco_ri: Optional[np.ndarray] = None
    fdp_ri: Optional[np.ndarray] = None
    fdp_ri2: Optional[np.ndarray] = None
    segments: Optional[np.ndarray] = None
    systems: Optional[np.ndarray] = None
    layers: Optional[Dict[str, np.ndarray]] = None


Progress = Callable[[str, int, int], object]


def _table(columns: Dict[str, np.ndarray]) -> np.ndarray:
    table = np.empty(len(next(iter(columns.values()))), [(k, v.dtype) for k, v in columns.items()])
    for k, v in columns.items():
        table[k] = v
    return table


def _result(products: dict) -> Result:
    for key in ("segments", "systems"):
        if key in products:
            products[key] = _table(products[key])
    return Result(**products)


def analyse(
    network,
    window: int = 13,
    regional: int = 49,
    mnc: int = 1,
    treatment: str = "both",
    engine: str = "fast",
    threads: int = 0,
    fields: bool = False,
    progress: Optional[Progress] = None,
    segments: bool = False,
):
    """Analyses a network held in memory and returns every product.

    Args:
        network: a two-dimensional array (or anything numpy.asarray takes) of booleans or
            integers of any width and memory order, one element per pixel, row 0 first. Only the
            value 1 marks the network; every other value is background, as in a ``.raw`` file.
            It is copied once and left as it is. Or a two-dimensional xarray.DataArray, such as
            ``rioxarray.open_rasterio(path).squeeze()`` gives (a scalar ``band`` coordinate may
            be left), of the same values.
        window: side of the analysis window, one of WINDOW_SIDES.
        regional: side of the regional window, one of WINDOW_SIDES.
        mnc: maximum number of confluents in a meander, 0 to 3.
        treatment: "taco" (the TACO products alone) or "both" (FDP and TACO).
        engine: "fast", or "reference" (the literal algorithms, much slower); both give the
            same bytes.
        threads: worker threads of the fast engine; 0 for every core.
        segments: also return the tables of the network's segments and drainage systems.
        fields: also return the real-valued fields taco, fdp, fdp2, fdp_r2, fdp2_r2, fdp_ri,
            fdp_ri2 and taco_ri, and the layers made of them. Always on for a DataArray.
        progress: None, or a callable progress(stage, done, total) called from the calling
            thread as each long stage ("first pass", "FDP regional means", "FDP regional means
            (2)", "TACO smoothing") starts (done 0), goes on, and ends (done == total); what it
            raises stops the analysis and comes out of analyse.

    Returns:
        a Result; for a DataArray, an xarray.Dataset on the network's dimensions and
        coordinates (those along its two dimensions), with its CRS and transform written by
        rioxarray (the ``spatial_ref`` coordinate) when it has them. Its variables are the
        layers (float32, NaN where there is no value, also their ``_FillValue``; attrs
        ``long_name``, the layer's description, and ``units``), so that
        ``ds["TACO"].rio.to_raster(path)`` writes the values of ``<name>_TACO.tif``, then the
        images (uint8, named as in Result.images but for "FDP_RI_8bit" and "FDP_RI2_8bit",
        whose names are the layers'; attrs ``long_name``, the product's title, ``product``, its
        name, and ``minimum`` and ``maximum``, its extremes). ``ds.attrs`` holds the parameters (as Result.parameters), ``processed``,
        and ``tables`` (as Result.tables, a dict of arrays: drop it before ``to_netcdf``).

    Raises:
        ValueError: a parameter the command line refuses, in its words, an empty network, or a
            DataArray that is not two-dimensional.
        TypeError: a network that is not of integers or booleans, a parameter of the wrong type.
        ImportError: a DataArray, and no rioxarray.
        MemoryError: grids that do not fit the memory of the machine.
        KeyboardInterrupt: Ctrl-C; the analysis stops within a second.

    The computation releases the GIL.
    """
    grid = _xarray.is_dataarray(network)
    if grid:
        _xarray.check(network)
    result = _result(
        _drainshape.analyse(
            network.values if grid else network,
            window,
            regional,
            mnc,
            treatment,
            engine,
            threads,
            fields or grid,
            segments,
            progress,
        )
    )
    return _xarray.dataset(network, result) if grid else result


def run(
    river,
    window: int = 13,
    regional: int = 49,
    mnc: int = 1,
    treatment: str = "both",
    name: Optional[str] = None,
    out=None,
    geotiff: bool = False,
    preview: bool = False,
    layers: bool = False,
    engine: str = "fast",
    threads: int = 0,
    segments: bool = False,
    directions=None,
) -> Result:
    """Does what ``drainshape run RIVER`` does, and returns the products as analyse does.

    Writes the same files as the command (6 for treatment="taco", 20 for "both", and GeoTIFF,
    pictures and a report on request), each under a temporary name, put in place only when the
    whole set is complete: a run that fails or is interrupted leaves the earlier results in the
    folder as they were.

    Args:
        river: path (str or os.PathLike) of R.raw with its descriptor R.txt beside it, or of a
            raster that GDAL reads (band 1, 1 = network).
        window, regional, mnc, treatment, engine, threads: as for analyse.
        name: generic output name; None for the river's name.
        out: output folder (it must exist); None for the river's folder.
        geotiff: also write every image as <name><suffix>.tif.
        preview: also write a PNG of every image and <name>_report.html.
        layers: also write the real-valued layers as Cloud-Optimized GeoTIFF,
            <name>_<LAYER>.tif, as ``drainshape run --layers`` does.
        segments: also write <name>_network.gpkg and return its tables.
        directions: path of D8 flow directions on the river's grid that orient the segments,
            as ``--directions``.

    Returns:
        a Result, with the fields of analyse(fields=True) when layers is set.

    Raises:
        ValueError: what ``drainshape run`` refuses before writing anything (an option, a river
            that cannot be read, an output folder that cannot be written, an output name whose
            files would replace the river's own), with its message.
        TypeError: an argument of the wrong type.
        OSError: a file that cannot be written or read during the run.
        MemoryError: grids that cannot be allocated.
        KeyboardInterrupt: Ctrl-C; the run stops and removes its temporary files. SIGTERM stops
            it the same way and then takes its usual course.

    The computation releases the GIL.
    """
    return _result(
        _drainshape.run(
            river,
            window,
            regional,
            mnc,
            treatment,
            name,
            out,
            geotiff,
            preview,
            layers,
            segments,
            directions,
            engine,
            threads,
        )
    )
