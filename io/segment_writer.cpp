#include "io/segment_writer.h"

#include <cmath>

#include "gis/network_gpkg.h"
#include "io/geotiff_writer.h"
#include "io/out_file.h"

namespace ds {

double network_pixel_size(const GeoReference& geo, int pix_size) {
    if (geo.transform)
        return std::hypot((*geo.transform)[1], (*geo.transform)[4]);
    return pix_size > 0 ? pix_size : 1;
}

void write_network(OutputSet& out, const SegmentGraph& graph, const FieldTables& fields,
                   const GeoReference& geo, int pix_size, const AnalysisParameters& p) {
    const std::string shown = out.base() + kNetworkSuffix;
    const std::string path = out.reserve(kNetworkSuffix);
    const double size = network_pixel_size(geo, pix_size);
    try {
        write_network_gpkg(
            path, {graph, network_tables(graph, fields, size), geo, size, provenance_items(p)});
    } catch (const RasterError& e) {
        throw FileError(shown, "Cannot write file " + shown + ": " + e.what());
    }
}

}  // namespace ds
