// capacity: capacities measured by a charger, from a spreadsheet's CSV.
#include "cellregister/packs.h"
#include "cli/errors.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/register_record.h"
#include "cli/streams.h"
#include "cli/subcommands.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace cli {

namespace {

// The fields of one CSV line: quotes around a field keep separators in it.
QStringList fields(const QString &line, QChar separator)
{
    QStringList out;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == u'"' && i + 1 < line.size() && line[i + 1] == u'"')
                field += c, ++i;
            else if (c == u'"')
                quoted = false;
            else
                field += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == separator) {
            out << field.trimmed();
            field.clear();
        } else {
            field += c;
        }
    }
    out << field.trimmed();
    return out;
}

std::vector<std::pair<QString, std::int64_t>> readCapacities(const QString &path)
{
    QString text = QString::fromUtf8(inputBytes(path));
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    const auto bad = [&](int line, const QString &why) {
        return ECapacityFile(QStringLiteral("%1:%2: %3").arg(path, QString::number(line), why));
    };
    if (lines.isEmpty() || lines.front().trimmed().isEmpty())
        throw bad(1, QStringLiteral("no header row (id and capacity_mah)"));
    const QChar separator = lines.front().contains(u';') ? u';' : u',';
    QStringList header = fields(lines.front(), separator);
    for (QString &h : header)
        h = h.toLower();
    const qsizetype idColumn = header.indexOf(QStringLiteral("id"));
    const qsizetype capacityColumn = header.indexOf(QStringLiteral("capacity_mah"));
    if (idColumn < 0 || capacityColumn < 0)
        throw bad(1,
                  QStringLiteral("the header row names no column %1")
                      .arg(idColumn < 0 ? QStringLiteral("id") : QStringLiteral("capacity_mah")));

    static const QRegularExpression number(QStringLiteral("^([0-9]{1,9})(?:[.,]([0-9]{1,3}))?$"));
    std::vector<std::pair<QString, std::int64_t>> capacities;
    QHash<QString, int> seen;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const int lineNumber = int(i + 1);
        if (lines[i].trimmed().isEmpty())
            continue;
        const QStringList f = fields(lines[i], separator);
        const QString label = f.value(idColumn);
        const QString value = f.value(capacityColumn);
        if (label.isEmpty())
            throw bad(lineNumber, QStringLiteral("no cell label"));
        const auto m = number.match(value);
        if (!m.hasMatch() || (separator == u',' && value.contains(u',')))
            throw bad(lineNumber, QStringLiteral("'%1' is no capacity in mAh").arg(value));
        if (const int first = seen.value(label); first != 0)
            throw bad(lineNumber,
                      QStringLiteral("cell %1 is named twice (first on line %2); nothing imported")
                          .arg(label, QString::number(first)));
        seen.insert(label, lineNumber);
        const QString fraction = m.captured(2).leftJustified(3, u'0');
        capacities.emplace_back(label, m.captured(1).toLongLong() * 1000 + fraction.toLongLong());
    }
    return capacities;
}

} // namespace

int runCapacity(const Invocation &inv)
{
    const QString path = inv.files.front();
    const auto capacities = readCapacities(path);
    const auto reg = openRegister(inv, cellregister::Opening::MustExist);
    const QStringList skipped = cellregister::setCapacities(
        *reg, capacities, QFileInfo(path).absoluteFilePath(), inv.skipUnknown);
    printMessage(QStringLiteral("battery-analyzer-cli: imported %1 capacities")
                     .arg(capacities.size() - skipped.size()));
    if (!skipped.isEmpty())
        printMessage(QStringLiteral("battery-analyzer-cli: skipped, not in the register: %1")
                         .arg(skipped.join(QStringLiteral(", "))));
    return kExitOk;
}

} // namespace cli
