#include "mpi/strip_files.h"

#include <algorithm>

#include "analysis/tables.h"
#include "gis/geotiff.h"
#include "io/formats.h"
#include "io/geotiff_writer.h"
#include "io/rows_file.h"

namespace ds {

namespace {

// Folds the extremes of every rank, in rank order, as one pass over the rows would: strict
// comparisons, so the first of equal values stays.
std::pair<double, double> fold_extremes(const std::vector<double>& all) {
    double lo = all[0];
    double hi = all[1];
    for (std::size_t k = 2; k + 1 < all.size(); k += 2) {
        if (lo > all[k])
            lo = all[k];
        if (hi < all[k + 1])
            hi = all[k + 1];
    }
    return {lo, hi};
}

}  // namespace

struct StripFiles::Tiff {
    std::unique_ptr<GeoTiffRows> file;
    ByteGrid rows;  // rank 0: one message of another rank's rows at a time
};

StripFiles::StripFiles(Team& team, OutputSet* out, const RunJob& job)
    : team_(team),
      out_(out),
      job_(job),
      own_(strip_rows(job.river.nb_lig, team.rank(), team.size())),
      tiff_(std::make_unique<Tiff>()) {
    MPI_Type_contiguous(job.river.nb_col, MPI_BYTE, &row_type_);
    MPI_Type_commit(&row_type_);
    if (job.layers)
        layers_ = std::make_unique<LayerParts>(
            StripPlan{job.river.nb_lig, job.river.nb_col, own_}, job.params,
            [this](const LayerInfo& l) {
                const std::string shown = job_.output_base + std::string(l.suffix) + ".tif";
                return PartFile{part_of_.at(l.name), shown};
            });
}

StripFiles::~StripFiles() {
    MPI_Type_free(&row_type_);
}

void StripFiles::image(const StripImage& p) {
    const bool root = team_.rank() == 0;
    const std::string suffix(p.info.suffix);
    const std::string raw = job_.output_base + suffix + ".raw";
    std::string temp;
    team_.checked([&] {
        if (root)
            temp = out_->reserve(suffix + ".raw");
    });
    temp = team_.broadcast(temp, 0);
    team_.checked([&] {
        RowsFile f(temp, raw);
        write_image_rows(f, p.image, p.first, own_);
        f.close();
    });

    Histogram counts = p.counts;
    team_.sum_on_root(counts.data(), static_cast<int>(counts.size()));
    const double extremes[2] = {p.min, p.max};
    const std::vector<double> all = team_.gather_on_root(extremes, 2);
    team_.checked([&] {
        if (!root)
            return;
        const auto [lo, hi] = fold_extremes(all);
        const std::string descriptor =
            descriptor_text(job_.river, job_.params, {p.info, p.image, counts, lo, hi});
        OutFile txt = out_->create(suffix + ".txt", OutFile::Mode::Text);
        txt.print("%s", descriptor.c_str());
        txt.close();
        OutFile xls = out_->create(suffix + ".xls", OutFile::Mode::Text);
        write_table(xls, image_table(p.info, counts, lo, hi));
        xls.close();
        if (!job_.geotiff)
            return;
        const std::string tif = out_->reserve(suffix + ".tif");
        const RiverDescriptor& d = job_.river;
        try {
            tiff_->file = create_geotiff_rows(tif, d.nb_lig, d.nb_col, job_.geo,
                                              geotiff_metadata(descriptor, job_.params, p.info));
        } catch (const RasterError& e) {
            const std::string shown = job_.output_base + suffix + ".tif";
            throw FileError(shown, "Cannot write file " + shown + ": " + e.what());
        }
        if (tiff_->rows.empty() && team_.size() > 1)
            tiff_->rows = ByteGrid(std::min(strip_rows(d.nb_lig, 0, team_.size()).size() + 1,
                                            rows_per_message(d.nb_col)),
                                   d.nb_col);
    });
    if (job_.geotiff)
        gather_geotiff(p);
}

void StripFiles::gather_geotiff(const StripImage& p) {
    const std::string shown = job_.output_base + std::string(p.info.suffix) + ".tif";
    const std::int64_t chunk = rows_per_message(job_.river.nb_col);
    if (team_.rank() != 0) {
        for (std::int64_t r = own_.begin; r < own_.end; r += chunk)
            MPI_Send(p.image.row(r - p.first).data(),
                     static_cast<int>(std::min(chunk, own_.end - r)), row_type_, 0, 2,
                     team_.comm());
        team_.checked([] {});
        return;
    }
    // Every rank's rows are received even after a failed write, so that no rank waits forever;
    // the failure is told at the agreement that follows.
    std::exception_ptr failure;
    const auto write = [&](const ByteGrid& image, std::int64_t first, RowRange rows) {
        if (failure)
            return;
        try {
            tiff_->file->write(image, first, rows);
        } catch (const RasterError& e) {
            failure = std::make_exception_ptr(
                FileError(shown, "Cannot write file " + shown + ": " + e.what()));
        }
    };
    write(p.image, p.first, own_);
    for (int q = 1; q < team_.size(); ++q) {
        const RowRange rows = strip_rows(job_.river.nb_lig, q, team_.size());
        for (std::int64_t r = rows.begin; r < rows.end; r += chunk) {
            const RowRange piece{r, std::min(r + chunk, rows.end)};
            MPI_Recv(tiff_->rows.data(), static_cast<int>(piece.size()), row_type_, q, 2,
                     team_.comm(), MPI_STATUS_IGNORE);
            write(tiff_->rows, piece.begin, piece);
        }
    }
    team_.checked([&] {
        if (failure)
            std::rethrow_exception(failure);
        try {
            tiff_->file->close();
        } catch (const RasterError& e) {
            throw FileError(shown, "Cannot write file " + shown + ": " + e.what());
        }
        tiff_->file.reset();
    });
}

void StripFiles::r2_table(const R2Product& p) {
    R2Histogram counts = p.counts;
    team_.checked([] {});
    team_.sum_on_root(counts.data(), static_cast<int>(counts.size()));
    team_.checked([&] {
        if (team_.rank() != 0)
            return;
        OutFile xls = out_->create(std::string(p.info.suffix) + ".xls", OutFile::Mode::Text);
        write_table(xls, ds::r2_table(p.info, counts));
        xls.close();
    });
}

void StripFiles::write_layers(const std::vector<std::string_view>& layers,
                              const std::function<void()>& write) {
    if (!layers_)
        return;
    const bool root = team_.rank() == 0;
    std::vector<std::string> parts;
    team_.checked([&] {
        if (!root)
            return;
        for (const std::string_view name : layers) {
            const LayerInfo& l = layer(name);
            std::vector<LayerPart> all;
            for (int k = 0; k < team_.size(); ++k) {
                const std::string suffix = std::string(l.suffix) + ".tif.part" + std::to_string(k);
                all.push_back(
                    {out_->scratch(suffix), strip_rows(job_.river.nb_lig, k, team_.size()).size()});
            }
            for (const LayerPart& p : all)
                parts.push_back(p.path);
            joins_.emplace_back(&l, std::move(all));
        }
    });
    // One line per layer and rank, in that order.
    std::string lines;
    for (const std::string& p : parts)
        lines += p + "\n";
    lines = team_.broadcast(lines, 0);
    std::size_t at = 0;
    for (const std::string_view name : layers)
        for (int k = 0; k < team_.size(); ++k) {
            const std::size_t end = lines.find('\n', at);
            if (k == team_.rank())
                part_of_[name] = lines.substr(at, end - at);
            at = end + 1;
        }
    team_.checked(write);
}

void StripFiles::taco_field(const RealGrid& taco, std::int64_t first) {
    write_layers({"TACO"}, [&] { layers_->taco_field(taco, first); });
}

void StripFiles::fdp_fields(const SparseField& dimension, const SparseField& dimension2,
                            std::int64_t first) {
    write_layers({"FDP", "FDP2"}, [&] { layers_->fdp_fields(dimension, dimension2, first); });
}

void StripFiles::r2_fields(const SparseField& r2, const SparseField& r2_2, std::int64_t first) {
    write_layers({"FDP_R2", "FDP2_R2"}, [&] { layers_->r2_fields(r2, r2_2, first); });
}

void StripFiles::fdp_regional_field(bool second, const FloatGrid& dimensions, std::int64_t first) {
    write_layers({second ? "FDP_RI2" : "FDP_RI"},
                 [&] { layers_->fdp_regional_field(second, dimensions, first); });
}

void StripFiles::taco_regional_field(const RealGrid& smoothed, std::int64_t first) {
    write_layers({"TACO_RI"}, [&] { layers_->taco_regional_field(smoothed, first); });
}

void StripFiles::join_layers() {
    for (const auto& [l, parts] : joins_) {
        const std::string suffix = std::string(l->suffix) + ".tif";
        join_layer(out_->reserve(suffix), job_.output_base + suffix, *l, parts, job_.river.nb_col,
                   job_.geo, job_.params);
        for (const LayerPart& p : parts)
            out_->remove(p.path);
    }
    joins_.clear();
}

}  // namespace ds
