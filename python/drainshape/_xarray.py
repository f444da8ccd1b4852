"""analyse for an xarray.DataArray: the products as an xarray.Dataset on the input's grid.

Imported only when a DataArray is passed, so that xarray and rioxarray stay optional.
"""

from __future__ import annotations

import numpy as np

from . import _drainshape


def is_dataarray(value) -> bool:
    """Whether `value` is an xarray.DataArray, told without importing xarray."""
    return type(value).__name__ == "DataArray" and type(value).__module__.startswith("xarray")


def image_variable(name: str) -> str:
    """The variable of the image `name`: its name, but for FDP_RI and FDP_RI2, whose names are
    the layers'."""
    return f"{name}_8bit" if name in _drainshape.LAYERS else name


def check(network) -> None:
    """Refuses, before any analysis, a DataArray that is not 2-D, or one without rioxarray."""
    try:
        import rioxarray  # noqa: F401  (registers the .rio accessor)
    except ImportError as e:
        raise ImportError(
            "network: an xarray.DataArray needs rioxarray for its georeferencing"
        ) from e
    if network.ndim != 2:
        raise ValueError(
            f"network: a two-dimensional DataArray is needed, not one of dimensions "
            f"{network.dims}{' (squeeze() its band)' if 'band' in network.dims else ''}"
        )


def dataset(network, result):
    """The Dataset of `result`, the analysis of the DataArray `network`."""
    import xarray as xr
    from rioxarray.exceptions import MissingSpatialDimensionError

    dims = network.dims
    # The coordinates along the raster's own dimensions; a scalar left by squeeze (band) and
    # the input's spatial_ref, written again below, are not the products'.
    coords = {
        name: coord
        for name, coord in network.coords.items()
        if coord.dims and set(coord.dims) <= set(dims) and name != "spatial_ref"
    }
    variables = {}
    for name, cells in result.layers.items():
        description, unit = _drainshape.LAYERS[name]
        variables[name] = xr.DataArray(
            cells,
            dims=dims,
            # _FillValue: the NoData of rioxarray's rio.nodata and of to_raster.
            attrs={"long_name": description, "units": unit, "_FillValue": np.nan},
        )
    for name, image in result.images.items():
        low, high = result.extremes[name]
        variables[image_variable(name)] = xr.DataArray(
            image,
            dims=dims,
            attrs={
                "long_name": _drainshape.PRODUCTS[name],
                "product": name,
                "minimum": low,
                "maximum": high,
            },
        )
    attrs = dict(result.parameters)
    attrs["processed"] = result.processed
    attrs["tables"] = result.tables
    if result.segments is not None:
        attrs["segments"] = result.segments
        attrs["systems"] = result.systems
    ds = xr.Dataset(variables, coords=coords, attrs=attrs)
    try:
        transform = network.rio.transform()
    except MissingSpatialDimensionError:
        # Dimensions rioxarray does not know as x and y: the grid without georeferencing.
        return ds
    crs = network.rio.crs
    if crs is not None:
        ds = ds.rio.write_crs(crs)
    return ds.rio.write_transform(transform)
