#include "analysis/products.h"

namespace ds {

std::vector<const ProductInfo*> products_of(bool both, bool images_only) {
    std::vector<const ProductInfo*> out;
    for (const ProductInfo& p : kProducts)
        if ((both || !p.both_only) && (!images_only || p.is_image()))
            out.push_back(&p);
    return out;
}

const ProductInfo* find_product(std::string_view name) {
    for (const ProductInfo& p : kProducts)
        if (p.name == name)
            return &p;
    return nullptr;
}

}  // namespace ds
