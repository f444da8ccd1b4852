// Coordinate systems, through GDAL's OSR: what a projection's units are, whether it is
// geographic, what a user's text (an EPSG code, a PROJ string, WKT) means, and a projection to
// suggest for data in longitude and latitude. Without GDAL, describe_crs knows nothing and
// crs_from_user throws.
#pragma once

#include <stdexcept>
#include <string>

namespace ds {

// A value the user gave (a coordinate system, a layer, a filter) that GDAL refuses.
class GisOptionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct CrsInfo {
    bool known = false;          // false: no coordinate system (or one GDAL cannot read)
    std::string name;            // "WGS 84 / UTM zone 33N"
    bool geographic = false;     // longitude and latitude: a pixel size in degrees
    std::string unit;            // "metre", "degree", "US survey foot"
    double metres_per_unit = 0;  // the linear unit in metres; 0 when geographic or unknown
};

// What the coordinate system of `wkt` (as GDAL gives it; empty for none) is.
CrsInfo describe_crs(const std::string& wkt);

// The WKT of a coordinate system written by a user: "EPSG:32633" or 32633, a PROJ string, WKT.
// Throws GisOptionError naming `text`.
std::string crs_from_user(const std::string& text);

// A projection in metres for data in longitude and latitude within the given box: a Lambert
// azimuthal equal-area centred on it, as a PROJ string.
std::string suggest_projection(double west, double south, double east, double north);

}  // namespace ds
