"""Types of the drainshape package; __init__.py documents every parameter and field."""

import os
from typing import TYPE_CHECKING, Callable, Dict, Optional, Tuple, Union, overload

import numpy as np
import numpy.typing as npt

if TYPE_CHECKING:
    import xarray

__version__: str
WINDOW_SIDES: Tuple[int, ...]
# Layer name to (description, unit).
LAYERS: Dict[str, Tuple[str, str]]

class Result:
    # Product name to uint8 image of the raster's shape, the bytes of its .raw file.
    images: Dict[str, npt.NDArray[np.uint8]]
    # Product name (images' and "FDP_ER0", "FDP_ER1") to the rows of its .xls file, float64.
    tables: Dict[str, npt.NDArray[np.float64]]
    # Image name to (minimum, maximum) of its parameter, as its descriptor ends.
    extremes: Dict[str, Tuple[float, float]]
    # fields=True: the TACO value of every pixel before rounding, 0.0 where there is none.
    taco: Optional[npt.NDArray[np.float64]]
    # fields=True, both treatments: the two fractal dimensions, NaN where no pixel was processed.
    fdp: Optional[npt.NDArray[np.float64]]
    fdp2: Optional[npt.NDArray[np.float64]]
    # fields=True, both treatments: the R² of each fit (mean of its four placements), NaN where
    # no pixel was processed.
    fdp_r2: Optional[npt.NDArray[np.float64]]
    fdp2_r2: Optional[npt.NDArray[np.float64]]
    # fields=True: the smoothed TACO field that TAC_RI truncates, 0.0 near the edges.
    taco_ri: Optional[npt.NDArray[np.float64]]
    # fields=True, both treatments: the regional means of fdp and fdp2 as the Float32 values of
    # the FDP_RI and FDP_RI2 layers, NaN where the window holds none and near the edges.
    fdp_ri: Optional[npt.NDArray[np.float64]]
    fdp_ri2: Optional[npt.NDArray[np.float64]]
    # segments=True: one row per segment and per drainage system, the columns of the
    # GeoPackage's layers (ids and counts int64, 0 for none; the rest float64, NaN for none).
    segments: Optional[np.ndarray]
    systems: Optional[np.ndarray]
    # fields=True: layer name to the float32 cells of <name>_<LAYER>.tif, NaN where none.
    layers: Optional[Dict[str, npt.NDArray[np.float32]]]
    # "program", "engine", "treatment", "window", "regional", "mnc".
    parameters: Dict[str, Union[str, int]]
    # Network pixels visited by the first pass.
    processed: int
    def __init__(
        self,
        images: Dict[str, npt.NDArray[np.uint8]],
        tables: Dict[str, npt.NDArray[np.float64]],
        extremes: Dict[str, Tuple[float, float]],
        taco: Optional[npt.NDArray[np.float64]],
        fdp: Optional[npt.NDArray[np.float64]],
        fdp2: Optional[npt.NDArray[np.float64]],
        parameters: Dict[str, Union[str, int]],
        processed: int,
        fdp_r2: Optional[npt.NDArray[np.float64]] = ...,
        fdp2_r2: Optional[npt.NDArray[np.float64]] = ...,
        taco_ri: Optional[npt.NDArray[np.float64]] = ...,
        fdp_ri: Optional[npt.NDArray[np.float64]] = ...,
        fdp_ri2: Optional[npt.NDArray[np.float64]] = ...,
        segments: Optional[np.ndarray] = ...,
        systems: Optional[np.ndarray] = ...,
        layers: Optional[Dict[str, npt.NDArray[np.float32]]] = ...,
    ) -> None: ...

# Called as progress(stage, done, total) from the calling thread.
Progress = Callable[[str, int, int], object]

# A 2-D DataArray (rioxarray.open_rasterio(path).squeeze()): a Dataset of the layers (float32,
# NaN NoData) and images (uint8; FDP_RI and FDP_RI2 as "FDP_RI_8bit" and "FDP_RI2_8bit") on its
# coordinates, with its CRS and transform; the parameters, "processed" and "tables" in its attrs.
# Fields are always computed.
@overload
def analyse(
    network: "xarray.DataArray",
    window: int = 13,
    regional: int = 49,
    mnc: int = 1,
    treatment: str = "both",
    engine: str = "fast",
    threads: int = 0,
    fields: bool = False,  # ignored: the layers need the fields
    progress: Optional[Progress] = None,
    segments: bool = False,  # also the tables, in the Dataset's attrs
) -> "xarray.Dataset": ...
@overload
def analyse(
    network: npt.ArrayLike,  # 2-D, booleans or integers; only 1 marks the network
    window: int = 13,  # one of WINDOW_SIDES
    regional: int = 49,  # one of WINDOW_SIDES
    mnc: int = 1,  # 0 to 3
    treatment: str = "both",  # "taco" or "both"
    engine: str = "fast",  # "fast" or "reference"
    threads: int = 0,  # 0: every core
    fields: bool = False,  # also taco, fdp, fdp2, fdp_r2, fdp2_r2, fdp_ri, fdp_ri2, taco_ri, layers
    progress: Optional[Progress] = None,
    segments: bool = False,  # also the tables of the segments and the drainage systems
) -> Result: ...
def run(
    river: Union[str, os.PathLike[str]],  # R.raw with R.txt beside it, or a raster GDAL reads
    window: int = 13,
    regional: int = 49,
    mnc: int = 1,
    treatment: str = "both",
    name: Optional[str] = None,  # generic output name; None: the river's
    out: Union[str, os.PathLike[str], None] = None,  # output folder; None: the river's
    geotiff: bool = False,
    preview: bool = False,
    layers: bool = False,  # also <name>_<LAYER>.tif, Cloud-Optimized GeoTIFF; the fields too
    engine: str = "fast",
    threads: int = 0,
    segments: bool = False,  # also <name>_network.gpkg and its tables
    directions: Union[str, os.PathLike[str], None] = None,  # D8 that orient the segments
) -> Result: ...
