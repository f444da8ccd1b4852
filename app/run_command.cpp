#include "app/run_command.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "app/lecture.h"
#include "app/opening.h"
#include "app/parameters.h"
#include "app/progress.h"
#include "app/raster_limits.h"
#include "app/run_guard.h"
#include "app/treatment.h"
#include "gis/crs.h"
#include "gis/geotiff.h"
#include "io/formats.h"
#include "io/preview.h"
#include "io/report.h"
#include "network/summary.h"

namespace ds {

namespace {

namespace fs = std::filesystem;

// An option that cannot be used: its one-line message.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The input: a .raw with its descriptor, or a raster read through GDAL.
struct River {
    std::string path;
    std::string descriptor;  // .raw only
    bool raw = true;
    RasterInfo info;
};

River check_river(const RunOptions& o, RunState& s) {
    River river;
    river.path = o.river;
    std::error_code ec;
    const fs::file_status st = fs::status(river.path, ec);
    if (!fs::exists(st))
        throw UsageError("no river file " + river.path);
    if (fs::is_directory(st))
        throw UsageError(river.path + " is a folder, not a river raster");
    river.raw = lower(fs::path(river.path).extension().string()) == ".raw";
    if (river.raw) {
        river.descriptor = fs::path(river.path).replace_extension(".txt").string();
        std::ifstream d(river.descriptor);
        if (!d)
            throw UsageError("no descriptor " + river.descriptor + " beside " + river.path +
                             "; it should hold six integers: lines, columns, 1, 0, 255 and the "
                             "pixel size");
        const std::string text{std::istreambuf_iterator<char>(d), {}};
        const RiverDescriptor rd = parse_descriptor(text);
        river.info.nb_lig = rd.nb_lig;
        river.info.nb_col = rd.nb_col;
        river.info.pix_size = rd.pix_size;
        s.val = rd.val;
        s.mind = rd.mind;
        s.maxd = rd.maxd;
        if (const auto problem = raster_size_problem(
                rd.nb_lig, rd.nb_col, grid_bytes_per_pixel(s.engine), usable_memory()))
            throw UsageError("the descriptor " + river.descriptor + " gives " +
                             std::to_string(rd.nb_lig) + " lines and " + std::to_string(rd.nb_col) +
                             " columns: " + *problem);
        errno = 0;
        s.f1.reset(std::fopen(river.path.c_str(), "rb"));
        if (!s.f1)
            throw UsageError("cannot read the river " + river.path + ": " + std::strerror(errno));
    } else {
        if (!have_gdal())
            throw UsageError("cannot read " + river.path +
                             ": this drainshape is built without GDAL and reads only .raw rivers");
        try {
            river.info = probe_raster(river.path);
        } catch (const RasterError& e) {
            throw UsageError("cannot read the river " + river.path + ": " + e.what());
        }
        if (const auto problem =
                raster_size_problem(river.info.nb_lig, river.info.nb_col,
                                    grid_bytes_per_pixel(s.engine), usable_memory()))
            throw UsageError("the river " + river.path + " has " +
                             std::to_string(river.info.nb_lig) + " lines and " +
                             std::to_string(river.info.nb_col) + " columns: " + *problem);
        s.val = 1;
        s.mind = 0;
        s.maxd = 255;
    }
    s.nb_lig = river.info.nb_lig;
    s.nb_col = river.info.nb_col;
    s.pix_size = o.pixel_size ? *o.pixel_size : river.info.pix_size;
    s.river_raw = river.path;
    s.river_txt = river.raw ? river.descriptor : river.path;
    return river;
}

// A folder in which a file can be created, found by creating one.
void check_writable_folder(const std::string& dir) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        throw UsageError("the output folder " + dir + " does not exist");
    std::string probe = (fs::path(dir) / ".drainshape-XXXXXX").string();
    const int fd = mkstemp(probe.data());
    if (fd < 0)
        throw UsageError("the output folder " + dir +
                         " cannot be written: " + std::strerror(errno));
    ::close(fd);
    ::unlink(probe.c_str());
}

std::string check_name(const RunOptions& o, const River& river) {
    const std::string name = o.name ? *o.name : fs::path(river.path).stem().string();
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("/\\") != std::string::npos)
        throw UsageError("--name: '" + name + "' is not a file name");
    return name;
}

std::vector<std::string> extra_suffixes(const RunOptions& o, bool both) {
    std::vector<std::string> out;
    for (const std::string& image : image_suffixes(both)) {
        if (o.geotiff)
            out.push_back(image + ".tif");
        if (o.preview)
            out.push_back(image + ".png");
    }
    if (o.preview)
        out.push_back("_report.html");
    return out;
}

ByteGrid read_image(const std::string& path, const RunState& s) {
    ByteGrid image = ucmatrice(s.nb_col, s.nb_lig);
    std::ifstream f(path, std::ios::binary);
    f.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!f || f.gcount() != image.size())
        throw FileError(path, "Cannot read file " + path);
    return image;
}

std::string read_text(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        throw FileError(path, "Cannot read file " + path);
    return {std::istreambuf_iterator<char>(f), {}};
}

// The descriptor's lines as metadata items, and the whole text as the image description.
std::vector<std::pair<std::string, std::string>> descriptor_metadata(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> items;
    items.emplace_back("TIFFTAG_IMAGEDESCRIPTION", text);
    std::istringstream in(text);
    std::string line;
    int k = 0;
    while (std::getline(in, line)) {
        const std::size_t a = line.find_first_not_of(" \t\r");
        if (a == std::string::npos)
            continue;
        const std::size_t b = line.find_last_not_of(" \t\r");
        items.emplace_back("DESCRIPTOR_LINE_" + std::to_string(++k), line.substr(a, b - a + 1));
    }
    return items;
}

void write_geotiffs(const RunState& s, const GeoReference& geo) {
    for (const std::string& suffix : image_suffixes(s.TACO_Solo == 1)) {
        const std::string base = s.output_base + suffix;
        const ByteGrid image = read_image(base + ".raw", s);
        try {
            write_geotiff(base + ".tif", image, geo, descriptor_metadata(read_text(base + ".txt")));
        } catch (const RasterError& e) {
            throw FileError(base + ".tif", e.what());
        }
    }
}

const char* engine_name(Engine e) {
    return e == Engine::Reference ? "reference" : "fast";
}

void write_previews(const RunState& s, const std::string& name, const RunOptions& o,
                    const River& river) {
    ReportInput in;
    in.name = name;
    in.output_base = s.output_base;
    in.both = s.TACO_Solo == 1;
    in.parameters = {
        {"River", river.path},
        {"Lines x columns", std::to_string(s.nb_lig) + " x " + std::to_string(s.nb_col)},
        {"Pixel size", std::to_string(s.pix_size)},
        {"Treatment", in.both ? "FD and TACO" : "TACO only"},
        {"Analysis window side", std::to_string(s.win_size)},
        {"Regional window side", std::to_string(s.slid_win)},
        {"Maximum number of confluents in a meander", std::to_string(s.MNC)},
        {"Engine", engine_name(o.engine)},
        {"Outputs", s.output_base + "_*"},
    };
    for (const std::string& suffix : image_suffixes(in.both))
        in.pictures.push_back(write_quick_look(s.output_base, suffix,
                                               read_image(s.output_base + suffix + ".raw", s)));
    write_report(s.output_base + "_report.html", in);
}

// Loads the river into s.tab and takes the isolated pixels out.
void load(RunState& s, const River& river, std::ostream& err) {
    if (river.raw) {
        std::ostringstream warning;
        lecture(s, warning);
        std::string text = warning.str();
        const std::size_t a = text.find_first_not_of("\n\t");
        if (a != std::string::npos) {
            text = text.substr(a);
            while (!text.empty() && text.back() == '\n')
                text.pop_back();
            err << "drainshape: " << text << "\n";
        }
        return;
    }
    try {
        read_network(river.path, s.tab);
    } catch (const RasterError& e) {
        throw FileError(river.path, "Cannot read file " + river.path + ": " + e.what());
    }
    mark_isolated(s.tab);
}

}  // namespace

std::vector<std::string> image_suffixes(bool both) {
    if (both)
        return {"_FDP_DN", "_FDP_DN2", "_FDP_RI", "_FDP_RI2", "_TAC_DN", "_TAC_RI"};
    return {"_TAC_DN", "_TAC_RI"};
}

int run_command(const RunOptions& o, std::ostream& err, bool err_is_terminal) {
    RunState s;
    s.engine = o.engine;
    s.threads = o.threads;
    s.TACO_Solo = o.both ? 1 : 0;
    River river;
    std::string name;
    try {
        if (o.geotiff && !have_gdal())
            throw UsageError("--geotiff: this drainshape is built without GDAL");
        river = check_river(o, s);
        name = check_name(o, river);
        std::string dir = o.out ? *o.out : fs::path(river.path).parent_path().string();
        if (dir.empty())
            dir = ".";
        check_writable_folder(dir);
        s.output_base = (fs::path(dir) / name).string();
        std::vector<std::string> river_files = {river.path};
        if (river.raw)
            river_files.push_back(river.descriptor);
        if (const auto clash =
                replaced_river_file(s.output_base, river_files, extra_suffixes(o, o.both)))
            throw UsageError("--name: the output file " + clash->first +
                             " would replace the river file " + clash->second);
    } catch (const UsageError& e) {
        err << "drainshape: " << e.what() << "\n";
        return kUsageStatus;
    }

    const auto style = o.quiet           ? RunProgress::Style::Quiet
                       : err_is_terminal ? RunProgress::Style::Bar
                                         : RunProgress::Style::Lines;
    RunProgress progress(err, style);
    const auto window = window_index(o.window);
    const auto regional = window_index(o.regional);
    const int status = run_guarded(s, err, MessageStyle::Command, [&] {
        create_outputs(s);
        apply_parameters(s, window.value(), regional.value(), o.mnc);
        load(s, river, err);
        if (const std::int64_t redundant = count_redundant(s.tab); redundant > 0)
            err << "drainshape: warning: the network is not one pixel wide (" << redundant
                << " redundant pixels, counted as confluences); run drainshape prepare on it "
                   "first\n";
        if (!o.pixel_size && describe_crs(river.info.geo.projection).geographic)
            err << "drainshape: warning: the pixel size comes from a geographic coordinate "
                   "system (degrees, not metres); give --pixel-size in metres\n";
        treatment(s, progress);
        close_all(s.files);
        if (o.geotiff)
            write_geotiffs(s, river.info.geo);
        if (o.preview)
            write_previews(s, name, o, river);
    });
    if (status == 0 && !o.quiet) {
        const std::size_t images = image_suffixes(o.both).size();
        std::string written = std::to_string(o.both ? 20 : 6) + " files";
        if (o.geotiff)
            written += ", " + std::to_string(images) + " GeoTIFF";
        if (o.preview)
            written += ", " + std::to_string(images) + " PNG and a report";
        char buf[128];
        std::snprintf(buf, sizeof buf, "%lld network pixels in %.1f s",
                      static_cast<long long>(progress.pixels()), progress.elapsed());
        err << "drainshape: " << written << " written to " << s.output_base << "_*; " << buf
            << "\n";
    }
    return status;
}

}  // namespace ds
