// Capacity files of any bytes: never a crash, and every capacity read is one the file's line
// holds alone.
#include "cellregister/capacity_file.h"

#include <cstdlib>

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    using namespace cellregister;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const CapacityFile f = readCapacityFile(text, {});
    for (const CapacityRow &row : f.rows) {
        require(!row.label.isEmpty() && row.line > 1);
        require(row.microampHours >= 0 && row.microampHours < 1'000'000'000'000);
    }
    int last = 0;
    for (const CapacityProblem &p : f.problems) {
        require(p.line >= last);
        last = p.line;
        require(p.kind != CapacityProblem::Repeated || (p.firstLine > 0 && p.firstLine < p.line));
    }
    // Either the columns were found or nothing was read.
    require(f.problems.empty() || f.problems.front().kind > CapacityProblem::NoCapacityColumn
            || f.rows.empty());
    return 0;
}
