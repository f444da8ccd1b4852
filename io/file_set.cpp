#include "io/file_set.h"

namespace ds {

std::vector<std::string> file_set_suffixes(bool both) {
    std::vector<std::string> out;
    for (const ProductInfo* p : products_of(both)) {
        const std::string s(p->suffix);
        if (p->is_image()) {
            out.push_back(s + ".raw");
            out.push_back(s + ".txt");
        }
        out.push_back(s + ".xls");
    }
    return out;
}

void FileSetWriter::image(const ImageProduct& p) {
    const std::string suffix(p.info.suffix);
    OutFile raw = out_.create(suffix + ".raw", OutFile::Mode::Binary);
    write_image(raw, p.image);
    raw.close();

    OutFile txt = out_.create(suffix + ".txt", OutFile::Mode::Text);
    txt.print("%s", descriptor_text(river_, p_, p).c_str());
    txt.close();

    OutFile xls = out_.create(suffix + ".xls", OutFile::Mode::Text);
    write_table(xls, image_table(p.info, p.counts, p.min, p.max));
    xls.close();
}

void FileSetWriter::r2_table(const R2Product& p) {
    OutFile xls = out_.create(std::string(p.info.suffix) + ".xls", OutFile::Mode::Text);
    write_table(xls, ds::r2_table(p.info, p.counts));
    xls.close();
}

}  // namespace ds
