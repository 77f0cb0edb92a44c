// Lists and files of cell labels of any bytes: never a crash; the labels read are what the
// text names, once each, and read back the same.
#include "cli/options/cell_list.h"

#include <QSet>

#include <cstdlib>

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

void check(const cli::LabelList &list, QChar separator)
{
    require(list.labels.isEmpty() != list.problems.empty());
    QSet<QString> seen;
    for (const QString &label : list.labels) {
        require(!label.isEmpty() && label.trimmed() == label);
        require(!seen.contains(label.toCaseFolded()));
        seen.insert(label.toCaseFolded());
    }
    int last = 0;
    for (const cli::LabelProblem &p : list.problems) {
        require(p.place >= last);
        last = p.place;
        require(p.fault != cli::LabelFault::Repeated
                || (p.firstPlace > 0 && p.firstPlace < p.place));
    }
    if (list.labels.isEmpty())
        return;
    const QString again = list.labels.join(separator);
    const cli::LabelList reread =
        separator == u',' ? cli::parseLabelList(again) : cli::parseLabelFile(again.toUtf8());
    require(reread.problems.empty() && reread.labels == list.labels);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    check(cli::parseLabelFile(bytes), u'\n');
    const cli::LabelList list = cli::parseLabelList(QString::fromUtf8(bytes));
    for (const QString &label : list.labels)
        require(!label.contains(u',') && !label.contains(u".."));
    check(list, u',');
    return 0;
}
