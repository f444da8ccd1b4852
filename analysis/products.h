// The products of an analysis, each described once: everything that lists, names, writes or
// draws products reads this table.
#pragma once

#include <array>
#include <string_view>
#include <vector>

namespace ds {

enum class Parameter { Fdp, Taco };

// A network image (`_DN`), a regional image (`_RI`), or the frequency table of the R² of a fit.
enum class ProductKind { Network, Regional, R2 };

// How a picture colours the image: a sequential map over the image's own non-zero range, or
// the two-sided TACO map on its fixed range; R² tables have no picture.
enum class ColourScale { None, Stretched, TwoSided };

struct ProductInfo {
    std::string_view name;    // "FDP_DN"
    std::string_view suffix;  // "_FDP_DN", after the generic output name in every file name
    Parameter parameter;
    ProductKind kind;
    int estimate;          // FDP: 1 over every box side, 2 without side 1; TACO: 1
    bool both_only;        // made only by a run of both treatments
    bool parameter_lines;  // its descriptor lists the window sides and MNC
    ColourScale scale;
    std::string_view title;

    bool is_image() const { return kind != ProductKind::R2; }
};

// In the order in which a run makes them.
inline constexpr std::array<ProductInfo, 8> kProducts = {{
    {"FDP_DN", "_FDP_DN", Parameter::Fdp, ProductKind::Network, 1, true, true,
     ColourScale::Stretched, "FDP of the drainage network, all box sizes"},
    {"FDP_DN2", "_FDP_DN2", Parameter::Fdp, ProductKind::Network, 2, true, false,
     ColourScale::Stretched, "FDP of the drainage network, without box side 1"},
    {"FDP_RI", "_FDP_RI", Parameter::Fdp, ProductKind::Regional, 1, true, true,
     ColourScale::Stretched, "FDP regional image"},
    {"FDP_RI2", "_FDP_RI2", Parameter::Fdp, ProductKind::Regional, 2, true, false,
     ColourScale::Stretched, "FDP regional image, without box side 1"},
    {"TAC_DN", "_TAC_DN", Parameter::Taco, ProductKind::Network, 1, false, true,
     ColourScale::TwoSided, "TACO of the drainage network"},
    {"TAC_RI", "_TAC_RI", Parameter::Taco, ProductKind::Regional, 1, false, true,
     ColourScale::TwoSided, "TACO regional image"},
    {"FDP_ER0", "_FDP_ER0", Parameter::Fdp, ProductKind::R2, 1, true, false, ColourScale::None,
     "R\u00b2 of the fits over all box sizes"},
    {"FDP_ER1", "_FDP_ER1", Parameter::Fdp, ProductKind::R2, 2, true, false, ColourScale::None,
     "R\u00b2 of the fits without box side 1"},
}};

// The products of a run of both treatments (`both`) or of TACO alone, in the order of
// kProducts; `images_only` leaves out the R² tables.
std::vector<const ProductInfo*> products_of(bool both, bool images_only = false);

// The product called `name` ("TAC_RI"), or null.
const ProductInfo* find_product(std::string_view name);
// The product called `name`, which must exist (std::logic_error otherwise).
const ProductInfo& product(std::string_view name);

}  // namespace ds
