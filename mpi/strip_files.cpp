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

}  // namespace ds
