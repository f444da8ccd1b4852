#include "app/opening.h"

#include <array>
#include <cstddef>
#include <cstdio>
#include <string_view>

#include "io/file_set.h"
#include "io/formats.h"
#include "io/out_file.h"
#include "io/output_set.h"
#include "io/raster_limits.h"

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

}  // namespace

namespace {

// Sizes that no grid can take, or grids beyond the memory of the machine, end the run here,
// before any output file exists. `source` says where the sizes come from.
void check_raster_size(const RunState& s, Console& con, const std::string& source) {
    bool too_large = false;
    const RiverDescriptor& d = s.river;
    const auto problem = raster_size_problem(
        d.nb_lig, d.nb_col, grid_bytes_per_pixel(s.params.engine), usable_memory(), &too_large);
    if (!problem)
        return;
    std::ostream& err = con.err();
    if (too_large)
        err << "\n\tNot enough memory for a " << d.nb_lig << " x " << d.nb_col << " grid\n\t"
            << *problem << "\n";
    else
        err << "\n\t" << source << " " << d.nb_lig << " lines and " << d.nb_col
            << " columns: " << *problem << "\n";
    err.flush();
    throw RunExit(1);
}

void read_or_create_descriptor(RunState& s, Console& con) {
    if (const auto d = read_descriptor(s.river_txt)) {
        s.river = *d;
        check_raster_size(s, con, "The descriptor " + s.river_txt + " gives");
        return;
    }
    con.printf("\n\tNo Descriptive File %s \n\n", s.river_txt.c_str());
    con.getch();
    // The answers come first, so that a dialog cut short leaves no empty descriptor behind.
    RiverDescriptor& d = s.river;
    d.nb_lig = con.ask_int("\n\tNumber of lines   ? ");
    d.nb_col = con.ask_int("\n\tNumber of columns ? ");
    d.pix_size = con.ask_int("\n\tPixel size ? ");
    d.val = 1;
    d.mind = 0;
    d.maxd = 255;
    d.read = 6;
    check_raster_size(s, con, "The answers give");
    OutFile created(s.river_txt, OutFile::Mode::Text);
    created.print("%s", descriptor_header(d.nb_lig, d.nb_col, d.pix_size).c_str());
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
std::string ask_output_name(const RunState& s, Console& con, const std::string& nomfic,
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
        const auto clash = replaced_river_file(folder + nomfic1, file_set_suffixes(true),
                                               {s.river_raw, s.river_txt});
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

}  // namespace

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

    if (std::FILE* f1 = std::fopen(s.river_raw.c_str(), "rb")) {
        std::fclose(f1);
    } else {
        con.printf("\n\tNo File %s \n", s.river_raw.c_str());
        con.getch();
        throw RunExit(0);
    }

    read_or_create_descriptor(s, con);

    if (s.river.pix_size == 0)
        s.river.pix_size = con.ask_int("\n\n\tPlease, enter the value of the pixel size : ");

    con.print("\n\n\tTHE RIVER FILE HAS :  \n");
    con.printf("\n\t            %d LINES", s.river.nb_lig);
    con.printf("\n\t        AND %d COLUMNS\n", s.river.nb_col);

    s.nomfic1 = ask_output_name(s, con, nomfic, folder);
    s.params.treatment = static_cast<Treatment>(ask_treatment(con));
    s.output_base = folder + s.nomfic1;

    // The outputs are written at the end of the run: a folder that takes no file is found now.
    if (const auto problem = folder_problem(folder)) {
        con.err() << "\n\tThe folder " << folder << " " << *problem << "\n";
        con.err().flush();
        throw RunExit(1);
    }
    if (const auto path = folder_in_the_way(s.output_base, file_set_suffixes(s.params.both()))) {
        con.err() << "\n\tCannot create file " << *path << ": it is a folder\n";
        con.err().flush();
        throw RunExit(1);
    }
}

}  // namespace ds
