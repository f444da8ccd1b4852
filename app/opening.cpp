#include "app/opening.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>

#include "app/raster_limits.h"
#include "io/formats.h"
#include "io/out_file.h"

namespace ds {

namespace {

constexpr int kBannerWidth = 62;

// A line of the banner box: an asterisk, `text` after `lead` blanks filled up with blanks to the
// inner width, an asterisk.
std::string banner_line(std::string_view text, std::size_t lead) {
    std::string line = "*";
    line.append(lead, ' ');
    line.append(text);
    line.resize(kBannerWidth - 1, ' ');
    line += '*';
    return line;
}

void print_banner(Console& con) {
    const std::string stars(kBannerWidth, '*');
    const std::string blank = banner_line("", 0);
    con.print("\n\n\t" + stars);
    con.print("\n\t" + blank);
    con.print("\n\t" + banner_line("DRAINSHAPE", 12));
    con.print("\n\t" + blank);
    con.print("\n\t" + blank);
    con.print("\n\t" + blank);
    con.print("\n\t" + banner_line("drainage network shape analysis", 22));
    con.print("\n\t" + banner_line("(2026)", 45));
    con.print("\n\t" + blank);
    con.print("\n\t" + stars);
}

constexpr std::array<std::string_view, 16> kExplanation = {
    "\n\n\tThe calculation of this new parameter takes into account the lenght L of the",
    "\n\tdrainage network inside the moving window (m * m), the number Nc of confluents",
    "\n\tand the size of the window side m, according to the following formula: )",
    "\n\tR = 200-(P*100, where P = (L/(Nc+1))/m. This formula measures the dendritic",
    "\n\tlevel, but when the number of Nc = 0 and when L > m, the algorithm calculates the ",
    "\n\tso-called Meander Tortuosity according to a 2nd formula: R = 100-(Coef*(L/m)).",
    "\n\tSuch a procedure allows distinguishing meanders from dendritic structures; the",
    "\n\tvalue of meanders is comprised between 0 and 100 (straigth line) and the",
    "\n\tdendritic structures between 100 and 200",
    "\n\tThe program generates 6 images : _FDP_DN (Fractal Dim. Parameter of the ",
    "\n\tDrainage Network; FDP_RI (Regional Interpolation); _TAC_DN (Tortuosity And ",
    "\n\tConfluent of the Dranage Network); _TAC_RI (Regional Interpolation)",
    "\n\t_FDP_DN2 (Fract. Dim. of the Drainage Network calculated from the second",
    "\n\tbox size); _FDP_RI2 (Regionalization of _FDP_DN2)",
    "\n\n\tNote: The version 2 calculates the Fractal Dimension taking into account",
    "\n\tor not the first box size",
};

// Suffixes of every output file of either treatment. Tables count too: through a symbolic or
// hard link, any of them could be the river's own raster or descriptor.
constexpr std::array<std::string_view, 20> kOutputSuffixes = {
    "_FDP_RI.raw",  "_FDP_RI.txt",  "_FDP_RI.xls",  "_TAC_DN.raw",  "_TAC_DN.txt",
    "_TAC_DN.xls",  "_FDP_DN.raw",  "_FDP_DN.txt",  "_FDP_DN.xls",  "_TAC_RI.raw",
    "_TAC_RI.txt",  "_TAC_RI.xls",  "_FDP_DN2.raw", "_FDP_DN2.txt", "_FDP_DN2.xls",
    "_FDP_RI2.raw", "_FDP_RI2.txt", "_FDP_RI2.xls", "_FDP_ER0.xls", "_FDP_ER1.xls",
};

// The part of a river descriptor that is read.
constexpr std::size_t kDescriptorReadLimit = 64 * 1024;

}  // namespace

std::int64_t grid_bytes_per_pixel(Engine engine) {
    // The raster, the TACO field and its scratch, one image buffer; the reference adds the two
    // dimension grids and four more byte grids.
    if (engine == Engine::Fast)
        return 2 * sizeof(unsigned char) + 2 * sizeof(double);
    return 5 * sizeof(unsigned char) + 4 * sizeof(double);
}

namespace {

bool same_file(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

// Sizes that no grid can take, or grids beyond the memory of the machine, end the run here,
// before any output file exists. `source` says where the sizes come from.
void check_raster_size(const RunState& s, Console& con, const std::string& source) {
    bool too_large = false;
    const auto problem = raster_size_problem(s.nb_lig, s.nb_col, grid_bytes_per_pixel(s.engine),
                                             usable_memory(), &too_large);
    if (!problem)
        return;
    std::ostream& err = con.err();
    if (too_large)
        err << "\n\tNot enough memory for a " << s.nb_lig << " x " << s.nb_col << " grid\n\t"
            << *problem << "\n";
    else
        err << "\n\t" << source << " " << s.nb_lig << " lines and " << s.nb_col
            << " columns: " << *problem << "\n";
    err.flush();
    throw RunExit(1);
}

void read_or_create_descriptor(RunState& s, Console& con) {
    std::ifstream f1d(s.river_txt);
    if (f1d) {
        // Six integers take a few bytes: a bounded read keeps a descriptor that is a device or
        // a huge file from hanging the run.
        std::string text(kDescriptorReadLimit, '\0');
        f1d.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(f1d.gcount()));
        const RiverDescriptor d = parse_descriptor(text);
        s.nb_lig = d.nb_lig;
        s.nb_col = d.nb_col;
        s.val = d.val;
        s.mind = d.mind;
        s.maxd = d.maxd;
        s.pix_size = d.pix_size;
        check_raster_size(s, con, "The descriptor " + s.river_txt + " gives");
        return;
    }
    con.printf("\n\tNo Descriptive File %s \n\n", s.river_txt.c_str());
    con.getch();
    // The answers come first, so that a dialog cut short leaves no empty descriptor behind.
    s.nb_lig = con.ask_int("\n\tNumber of lines   ? ");
    s.nb_col = con.ask_int("\n\tNumber of columns ? ");
    s.pix_size = con.ask_int("\n\tPixel size ? ");
    s.val = 1;
    s.mind = 0;
    s.maxd = 255;
    check_raster_size(s, con, "The answers give");
    OutFile created(s.river_txt, OutFile::Mode::Text);
    write_river_descriptor(created, s.nb_lig, s.nb_col, s.pix_size);
    created.close();
}

// Answers 0 or 1 to the "Resulting File" options; the heading is printed by the caller.
int ask_resulting_file(Console& con, const std::string& nomfic) {
    for (;;) {
        con.printf("\n\t\t0 -----> Using the generic name %s ? ", nomfic.c_str());
        con.print("\n\t\t1 -----> Creating a new file ? \n\t\t");
        const auto rep = con.read_int();
        if (rep && (*rep == 0 || *rep == 1))
            return *rep;
    }
}

// The generic output name; a name whose files would replace the river's own is refused.
std::string ask_output_name(RunState& s, Console& con, const std::string& nomfic,
                            const std::string& folder) {
    con.print("\n\n\tResulting File :");
    int rep = ask_resulting_file(con, nomfic);
    for (;;) {
        std::string nomfic1 = nomfic;
        if (rep == 1) {
            con.print("\n\tGeneric Name of the file_out (without any extention) ? ");
            nomfic1 = con.read_word();
            if (const auto problem = output_name_problem(nomfic1)) {
                con.printf("\n\tThis name cannot be used: %s. Please choose another name.\n",
                           problem->c_str());
                continue;
            }
        }
        const auto clash = replaced_river_file(folder + nomfic1, {s.river_raw, s.river_txt});
        if (!clash)
            return nomfic1;
        con.printf(
            "\n\tThe output file %s would replace the river file %s: please choose "
            "another name.\n",
            clash->first.c_str(), clash->second.c_str());
        if (rep == 0)
            rep = ask_resulting_file(con, nomfic);
    }
}

int ask_treatment(Console& con) {
    con.print("\n\tType of Treatment :");
    for (;;) {
        con.print("\n\t\t0 -----> Only TACO Treatment\n\t\t1 -----> FD and TACO Treatments\n\t\t");
        const auto t = con.read_int();
        if (t && (*t == 0 || *t == 1))
            return *t;
    }
}

// Image, descriptor with its header, and table of one product.
void create_group(RunState& s, const std::string& base, const char* suffix, OutFile& image,
                  OutFile& descr, OutFile& table) {
    image = OutFile(base + suffix + ".raw", OutFile::Mode::Binary);
    descr = OutFile(base + suffix + ".txt", OutFile::Mode::Text);
    table = OutFile(base + suffix + ".xls", OutFile::Mode::Text);
    s.val = 1;
    write_descriptor_header(descr, s.nb_lig, s.nb_col, s.pix_size);
}

void create_file_set(RunState& s) {
    const std::string& base = s.output_base;
    FileSet& fs = s.files;
    if (s.TACO_Solo == 1)
        create_group(s, base, "_FDP_RI", fs.f2, fs.f2d, fs.f2x);
    create_group(s, base, "_TAC_DN", fs.f3, fs.f3d, fs.f3x);
    if (s.TACO_Solo == 1)
        create_group(s, base, "_FDP_DN", fs.f4, fs.f4d, fs.f4x);
    create_group(s, base, "_TAC_RI", fs.f5, fs.f5d, fs.f5x);
    if (s.TACO_Solo == 1) {
        create_group(s, base, "_FDP_DN2", fs.f6, fs.f6d, fs.f6x);
        create_group(s, base, "_FDP_RI2", fs.f7, fs.f7d, fs.f7x);
        fs.f_0x = OutFile(base + "_FDP_ER0.xls", OutFile::Mode::Text);
        fs.f_1x = OutFile(base + "_FDP_ER1.xls", OutFile::Mode::Text);
    }
}

// The reference engine keeps the nine full-size grids of the literal layout; the fast engine
// keeps the dimensions at the processed pixels only and one image buffer.
void allocate_grids(RunState& s) {
    s.tab = ucmatrice(s.nb_col, s.nb_lig);
    if (s.engine == Engine::Fast) {
        s.dtab2 = dmatrice(s.nb_col, s.nb_lig);
        s.dtab3 = dmatrice(s.nb_col, s.nb_lig);
        s.tab_out = ucmatrice(s.nb_col, s.nb_lig);
        return;
    }
    s.dtab = dmatrice(s.nb_col, s.nb_lig);
    s.dtab2 = dmatrice(s.nb_col, s.nb_lig);
    s.dtab3 = dmatrice(s.nb_col, s.nb_lig);
    s.dtab_v2 = dmatrice(s.nb_col, s.nb_lig);
    s.tab_out = ucmatrice(s.nb_col, s.nb_lig);
    s.tab_out2 = ucmatrice(s.nb_col, s.nb_lig);
    s.tab_dn_out = ucmatrice(s.nb_col, s.nb_lig);
    s.tab_dn_out2 = ucmatrice(s.nb_col, s.nb_lig);
}

}  // namespace

std::optional<std::pair<std::string, std::string>> replaced_river_file(
    const std::string& base, const std::vector<std::string>& river_files,
    const std::vector<std::string>& more_suffixes) {
    std::vector<std::string> suffixes(kOutputSuffixes.begin(), kOutputSuffixes.end());
    suffixes.insert(suffixes.end(), more_suffixes.begin(), more_suffixes.end());
    for (const std::string& suffix : suffixes) {
        std::string out = base + suffix;
        for (const std::string& river : river_files)
            if (same_file(out, river))
                return std::make_pair(std::move(out), river);
    }
    return std::nullopt;
}

std::optional<std::string> output_name_problem(std::string_view nomfic1) {
    // File names of at most 255 bytes are what the common file systems take.
    constexpr std::size_t kLongestName = 255 - std::string_view("_FDP_DN2.raw").size();
    if (nomfic1.size() > kLongestName)
        return "a name has at most " + std::to_string(kLongestName) + " characters";
    for (const char c : nomfic1) {
        if (c == '/' || c == '\\' || c == kPathSeparator)
            return std::string(
                "the results must stay in the folder of the river, so a name holds "
                "no '/' or '\\'");
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return std::string("a name holds no control characters");
    }
    return std::nullopt;
}

void create_outputs(RunState& s) {
    // Memory first: a refused allocation then replaces no earlier result of the same name.
    allocate_grids(s);
    create_file_set(s);
}

std::string choose_images_root(const char* option, const char* env, const char* home) {
    std::string root;
    if (option != nullptr && *option != '\0') {
        root = option;
    } else if (env != nullptr && *env != '\0') {
        root = env;
    } else {
#ifdef _WIN32
        (void)home;
        root = "C:\\images";
#else
        root = (home != nullptr && *home != '\0') ? std::string(home) + "/images" : "images";
#endif
    }
    while (root.size() > 1 && (root.back() == '/' || root.back() == kPathSeparator))
        root.pop_back();
    return root;
}

void opening(RunState& s, Console& con) {
    print_banner(con);
    for (std::string_view text : kExplanation)
        con.print(text);

    con.printf("\n\n\tName of the File Folder located in the Directory %s : ",
               s.images_root.c_str());
    const std::string nomdir = con.read_word();
    const std::string folder = s.images_root + kPathSeparator + nomdir + kPathSeparator;

    con.print("\n\tName of the River File (whithout extension .raw) ? ");
    const std::string nomfic = con.read_word();
    s.river_raw = folder + nomfic + ".raw";
    s.river_txt = folder + nomfic + ".txt";

    s.f1.reset(std::fopen(s.river_raw.c_str(), "rb"));
    if (!s.f1) {
        con.printf("\n\tNo File %s \n", s.river_raw.c_str());
        con.getch();
        throw RunExit(0);
    }

    read_or_create_descriptor(s, con);

    if (s.pix_size == 0)
        s.pix_size = con.ask_int("\n\n\tPlease, enter the value of the pixel size : ");

    con.print("\n\n\tTHE RIVER FILE HAS :  \n");
    con.printf("\n\t            %d LINES", s.nb_lig);
    con.printf("\n\t        AND %d COLUMNS\n", s.nb_col);

    const std::string nomfic1 = ask_output_name(s, con, nomfic, folder);
    s.TACO_Solo = ask_treatment(con);

    s.output_base = folder + nomfic1;
    create_outputs(s);
}

}  // namespace ds
