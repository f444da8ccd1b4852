#include "analysis/products.h"

#include <stdexcept>
#include <string>

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

const ProductInfo& product(std::string_view name) {
    const ProductInfo* p = find_product(name);
    if (p == nullptr)
        throw std::logic_error("no product " + std::string(name));
    return *p;
}

}  // namespace ds
