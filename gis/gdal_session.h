// What every gis/ source needs around a GDAL call: the drivers registered once, GDAL's
// messages kept off the console (and the first failure's text kept for ours), and datasets and
// spatial references released on every path. Included by gis/*.cpp only, and only when GDAL is
// built in.
#pragma once

#include <cpl_error.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <memory>
#include <mutex>
#include <string>

namespace ds::gdal {

inline void register_drivers() {
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

// Keeps GDAL's messages off the console while it lives, and the first failure's text.
class ErrorTrap {
  public:
    ErrorTrap() {
        CPLPushErrorHandlerEx(&ErrorTrap::handler, this);
        CPLErrorReset();
    }
    ~ErrorTrap() { CPLPopErrorHandler(); }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    bool failed() const { return failed_; }
    std::string message(const char* fallback) const {
        return message_.empty() ? std::string(fallback) : message_;
    }

  private:
    static void CPL_STDCALL handler(CPLErr level, CPLErrorNum, const char* text) {
        auto* self = static_cast<ErrorTrap*>(CPLGetErrorHandlerUserData());
        if (self == nullptr || level < CE_Failure)
            return;
        if (!self->failed_ && text != nullptr)
            self->message_ = text;
        self->failed_ = true;
    }

    bool failed_ = false;
    std::string message_;
};

// Owners of GDAL's handles, each released by its own function.
template <auto release>
struct Releaser {
    void operator()(void* handle) const {
        if (handle != nullptr)
            release(handle);
    }
};
using Dataset = std::unique_ptr<void, Releaser<GDALClose>>;
using Srs = std::unique_ptr<void, Releaser<OSRDestroySpatialReference>>;
using Transform = std::unique_ptr<void, Releaser<OCTDestroyCoordinateTransformation>>;
using Feature = std::unique_ptr<void, Releaser<OGR_F_Destroy>>;

}  // namespace ds::gdal
