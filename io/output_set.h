// The files of one run, written under temporary names beside their final ones and put in place
// together once the run is complete, so that a run that stops part way (an error, a signal, a
// full disk) leaves the results of an earlier run exactly as they were.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/out_file.h"

namespace ds {

// Why `name`, typed as a generic output name, cannot name the results, or nothing when it can.
// The results lie beside the river: a name holds no path separator ('/' or '\\', whatever the
// platform), no control character, is not empty, and leaves room for the longest suffix
// within the 255 bytes of a file name.
std::optional<std::string> output_name_problem(std::string_view name);

// The first of the files `base` + each of `suffixes` that is one of `river_files` (the same
// path, or the same file through a link), with that river file.
std::optional<std::pair<std::string, std::string>> replaced_river_file(
    const std::string& base, const std::vector<std::string>& suffixes,
    const std::vector<std::string>& river_files);

// The first of the files `base` + each of `suffixes` that cannot be replaced by a file because
// it is a folder, or nothing.
std::optional<std::string> folder_in_the_way(const std::string& base,
                                             const std::vector<std::string>& suffixes);

// Why no file can be created in `folder` ("does not exist", "cannot be written: ..."), found by
// creating one, or nothing when it can.
std::optional<std::string> folder_problem(const std::string& folder);

class OutputSet {
  public:
    // Files named `base` (folder and generic name) + a suffix.
    explicit OutputSet(std::string base);
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;
    // Removes every temporary file that commit() did not put in place.
    ~OutputSet();

    const std::string& base() const { return base_; }

    // Creates the file of `suffix` ("_TAC_DN.raw") under its temporary name; messages name the
    // final file. Throws FileError.
    OutFile create(const std::string& suffix, OutFile::Mode mode);
    // Creates the temporary file of `suffix`, empty, for a writer that opens it by name, and
    // returns its path. Throws FileError.
    std::string reserve(const std::string& suffix);

    // Creates an empty scratch file that the run reads back and that is never put in place:
    // removed by remove(), commit() or discard(). Its name ends in `suffix`. Throws FileError.
    std::string scratch(const std::string& suffix);
    // Removes the scratch file `path` now.
    void remove(const std::string& path);

    // Puts every file in place, in the order of creation, with signals held back meanwhile.
    // A folder where a file should go is found before anything is renamed. Throws FileError
    // naming the first file that cannot be put in place; the files before it are in place then,
    // the others are removed.
    void commit();
    // Removes the temporary files; nothing is put in place.
    void discard();

    // The final paths, in the order of creation.
    std::vector<std::string> final_paths() const;

  private:
    struct Entry {
        std::string temp;
        std::string final;  // empty for a scratch file
    };
    std::string base_;
    std::filesystem::path folder_;  // empty: the current folder
    std::vector<Entry> entries_;
};

}  // namespace ds
