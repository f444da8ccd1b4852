// One receiver that hands every product to several, in the order they were added, and the
// real-valued fields only to those that take them.
#pragma once

#include <vector>

#include "analysis/analysis.h"

namespace ds {

// Hands every product to each receiver in turn, and the fields to those that take them.
class Receivers final : public ProductReceiver {
  public:
    void add(ProductReceiver& r, bool fields) {
        all_.push_back(&r);
        if (fields)
            fields_.push_back(&r);
    }
    void image(const ImageProduct& p) override {
        for (ProductReceiver* r : all_)
            r->image(p);
    }
    void r2_table(const R2Product& p) override {
        for (ProductReceiver* r : all_)
            r->r2_table(p);
    }
    void taco_field(const RealGrid& dtab2) override {
        for (ProductReceiver* r : fields_)
            r->taco_field(dtab2);
    }
    void fdp_fields(const SparseField& dtab, const SparseField& dtab_v2) override {
        for (ProductReceiver* r : fields_)
            r->fdp_fields(dtab, dtab_v2);
    }
    void r2_fields(const SparseField& r2, const SparseField& r2_2) override {
        for (ProductReceiver* r : fields_)
            r->r2_fields(r2, r2_2);
    }
    void fdp_regional_field(bool second, const FloatGrid& dimensions) override {
        for (ProductReceiver* r : fields_)
            r->fdp_regional_field(second, dimensions);
    }
    void taco_regional_field(const RealGrid& smoothed) override {
        for (ProductReceiver* r : fields_)
            r->taco_regional_field(smoothed);
    }

  private:
    std::vector<ProductReceiver*> all_;
    std::vector<ProductReceiver*> fields_;
};

}  // namespace ds
