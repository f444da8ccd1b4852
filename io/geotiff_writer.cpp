#include "io/geotiff_writer.h"

#include <cctype>
#include <sstream>

namespace ds {

std::vector<std::string> geotiff_suffixes(bool both) {
    std::vector<std::string> out;
    for (const ProductInfo* p : products_of(both, true))
        out.push_back(std::string(p->suffix) + ".tif");
    return out;
}

std::vector<std::pair<std::string, std::string>> geotiff_metadata(const std::string& descriptor,
                                                                  const AnalysisParameters& p,
                                                                  const ProductInfo& product) {
    std::vector<std::pair<std::string, std::string>> items;
    items.emplace_back("TIFFTAG_IMAGEDESCRIPTION", descriptor);
    std::istringstream in(descriptor);
    std::string line;
    int k = 0;
    while (std::getline(in, line)) {
        const std::size_t a = line.find_first_not_of(" \t\r");
        if (a == std::string::npos)
            continue;
        const std::size_t b = line.find_last_not_of(" \t\r");
        items.emplace_back("DESCRIPTOR_LINE_" + std::to_string(++k), line.substr(a, b - a + 1));
    }
    items.emplace_back("TIFFTAG_SOFTWARE", program_version());
    items.emplace_back("DRAINSHAPE_PRODUCT", std::string(product.name));
    for (auto& item : provenance_items(p))
        items.push_back(std::move(item));
    return items;
}

std::vector<std::pair<std::string, std::string>> provenance_items(const AnalysisParameters& p) {
    std::vector<std::pair<std::string, std::string>> items;
    for (const auto& [key, value] : provenance(p)) {
        std::string name = "DRAINSHAPE_";
        for (const char c : key)
            name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        items.emplace_back(name, value);
    }
    return items;
}

void GeoTiffWriter::image(const ImageProduct& p) {
    const std::string suffix = std::string(p.info.suffix) + ".tif";
    const std::string path = out_.reserve(suffix);
    const std::string descriptor = descriptor_text(river_, p_, p);
    try {
        write_geotiff(path, p.image, geo_, geotiff_metadata(descriptor, p_, p.info));
    } catch (const RasterError& e) {
        const std::string shown = out_.base() + suffix;
        throw FileError(shown, "Cannot write file " + shown + ": " + e.what());
    }
}

}  // namespace ds
