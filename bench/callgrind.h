#pragma once

// Instruction counts of a program run under callgrind: the machine's load does not move
// them, so small gains and losses show where wall time would drown them.
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <string>
#include <vector>

namespace bench {

struct Instructions {
    double total = 0; // 0: valgrind is not installed, or the run failed
    double allocation = 0; // inside the allocator: malloc, free and their C++ entry points
    // callgrind_annotate's listings, per function: inclusive and self counts.
    QString inclusive, self;

    double allocationShare() const { return total > 0 ? allocation / total : 0; }
    // The share of the instructions that a library's own code ran: the functions callgrind
    // names with that object ("[/usr/lib/.../libsqlite3.so.0]"), each counted for itself.
    double shareInObject(const QString &object) const;
    // The share under the functions whose names match, counted with what they call (a
    // function that calls itself would count twice: name the outermost).
    double shareUnder(const QRegularExpression &name) const;
};

namespace detail {

// Per function, the instructions callgrind_annotate lists, inclusive or self.
inline QString annotate(const QString &outFile, bool inclusive)
{
    QProcess p;
    p.start(QStringLiteral("callgrind_annotate"),
            {inclusive ? QStringLiteral("--inclusive=yes") : QStringLiteral("--inclusive=no"),
             QStringLiteral("--threshold=100"), outFile});
    if (!p.waitForFinished(300'000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The sum of the counts of the functions whose names match `name`.
inline double countOf(const QString &listing, const QRegularExpression &name)
{
    static const QRegularExpression line(QStringLiteral(R"(^\s*([\d,]+)\s+\([^)]*\)\s+(.*)$)"),
                                         QRegularExpression::MultilineOption);
    double sum = 0;
    for (auto it = line.globalMatch(listing); it.hasNext();) {
        const auto m = it.next();
        if (name.match(m.captured(2)).hasMatch())
            sum += m.captured(1).remove(u',').toDouble();
    }
    return sum;
}

} // namespace detail

// Runs args (program first) under callgrind with its output discarded. operator new and
// delete call malloc and free, so the C functions count inclusively and the C++ ones only
// for their own instructions.
inline Instructions countInstructions(const std::vector<std::string> &args)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("callgrind.out"));
    QStringList arguments{QStringLiteral("--tool=callgrind"),
                          QStringLiteral("--callgrind-out-file=") + out};
    for (const std::string &a : args)
        arguments << QString::fromStdString(a);
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(QStringLiteral("valgrind"), arguments);
    if (!p.waitForFinished(1'800'000) || p.exitStatus() != QProcess::NormalExit
        || p.exitCode() != 0)
        return {};
    Instructions r;
    r.inclusive = detail::annotate(out, true);
    r.self = detail::annotate(out, false);
    r.total = detail::countOf(r.inclusive, QRegularExpression(QStringLiteral("PROGRAM TOTALS")));
    r.allocation =
        detail::countOf(
            r.inclusive,
            QRegularExpression(QStringLiteral(R"(^\S*:(malloc|free|realloc|calloc|cfree) )")))
        + detail::countOf(r.self,
                          QRegularExpression(QStringLiteral(R"(^\S*:operator (new|delete)\b)")));
    return r;
}

inline double Instructions::shareInObject(const QString &object) const
{
    if (total <= 0)
        return 0;
    const QRegularExpression inObject(
        QStringLiteral(R"(\[\S*/%1[^/\]]*\]$)").arg(QRegularExpression::escape(object)));
    return detail::countOf(self, inObject) / total;
}

inline double Instructions::shareUnder(const QRegularExpression &name) const
{
    return total > 0 ? detail::countOf(inclusive, name) / total : 0;
}

} // namespace bench
