#include "gis/crs.h"

#include <cmath>
#include <cstdio>

#include <cpl_conv.h>
#include <ogr_srs_api.h>

#include <memory>

#include "gis/gdal_support.h"

namespace ds {

std::string suggest_projection(double west, double south, double east, double north) {
    // The centre to a tenth of a degree: a rounder number reads better and costs nothing.
    const double lat = std::round((south + north) / 2 * 10) / 10;
    double lon = (west + east) / 2;
    if (east < west)  // across the antimeridian
        lon = std::remainder(lon + 180, 360);
    lon = std::round(lon * 10) / 10;
    char text[160];
    std::snprintf(text, sizeof text, "+proj=laea +lat_0=%g +lon_0=%g +datum=WGS84 +units=m",
                  lat == 0 ? 0.0 : lat, lon == 0 ? 0.0 : lon);
    return text;
}

using gdal::Srs;

CrsInfo describe_crs(const std::string& wkt) {
    CrsInfo info;
    if (wkt.empty())
        return info;
    gdal::ErrorTrap trap;
    const Srs srs(OSRNewSpatialReference(wkt.c_str()));
    if (!srs)
        return info;
    info.known = true;
    if (const char* name = OSRGetName(srs.get()); name != nullptr)
        info.name = name;
    // A projection made from a PROJ string is named "unknown": its method says more.
    if (info.name.empty() || info.name == "unknown") {
        if (const char* method = OSRGetAttrValue(srs.get(), "PROJECTION", 0)) {
            info.name = method;
            for (char& c : info.name)
                if (c == '_')
                    c = ' ';
        }
    }
    info.geographic = OSRIsGeographic(srs.get()) != 0;
    char* unit = nullptr;
    if (info.geographic) {
        OSRGetAngularUnits(srs.get(), &unit);
    } else {
        info.metres_per_unit = OSRGetLinearUnits(srs.get(), &unit);
    }
    if (unit != nullptr)
        info.unit = unit;
    return info;
}

std::string crs_from_user(const std::string& text) {
    gdal::ErrorTrap trap;
    Srs srs(OSRNewSpatialReference(nullptr));
    std::string input = text;
    if (!input.empty() && input.find_first_not_of("0123456789") == std::string::npos)
        input = "EPSG:" + input;
    if (!srs || OSRSetFromUserInput(srs.get(), input.c_str()) != OGRERR_NONE)
        throw GisOptionError("'" + text + "' is not a coordinate system GDAL knows: " +
                             trap.message("not an EPSG code, PROJ string or WKT"));
    char* wkt = nullptr;
    if (OSRExportToWkt(srs.get(), &wkt) != OGRERR_NONE || wkt == nullptr)
        throw GisOptionError("'" + text + "' cannot be written as WKT");
    std::string out = wkt;
    CPLFree(wkt);
    return out;
}

}  // namespace ds
