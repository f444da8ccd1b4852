// The module's side: its table of functions.
#include "gis/module.h"

extern "C" const ds::GisModule* drainshape_gis_module() {
    static const ds::GisModule table = {
        ds::kGisModuleVersion,
        &ds::probe_raster,
        &ds::read_network,
        &ds::read_network_rows,
        &ds::write_geotiff,
        &ds::create_geotiff_rows,
        &ds::describe_crs,
        &ds::crs_from_user,
        &ds::suggest_projection,
        &ds::read_band,
        &ds::source_kind,
        &ds::read_lines,
        &ds::crs_kind,
        &ds::crs_wkt,
        &ds::read_dem,
        &ds::read_dem_warped,
        &ds::write_elevation_geotiff,
        &ds::write_count_geotiff,
        &ds::create_layer_part,
        &ds::remove_layer_part,
        &ds::write_network_gpkg,
        &ds::write_layer_cog,
    };
    return &table;
}
