#include "cli/line/ports.h"

#include "board/errors.h"
#include "cli/common/errors.h"
#include "cli/common/exit_codes.h"
#include "cli/common/output.h"
#include "cli/line/commands.h"
#include "link/errors.h"
#include "link/port_path.h"
#include "link/session.h"
#include "linktext/fault_text.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include <cerrno>
#include <map>
#include <unistd.h>

namespace cli {

namespace {

struct PortRow {
    QString com; // "3", or "-" for a port no COM number reaches
    QString device;
    QStringList details; // description, manufacturer, serial number, USB vendor:product
};

// The port folder's entries: COM number to the entry's path.
std::map<int, QString> folderEntries()
{
    static const QRegularExpression name(QStringLiteral("^com([1-9][0-9]{0,2})$"));
    std::map<int, QString> entries;
    const QDir folder(analyzer::portFolder());
    for (const QFileInfo &entry :
         folder.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const auto match = name.match(entry.fileName());
        if (match.hasMatch() && match.captured(1).toInt() <= 255)
            entries[match.captured(1).toInt()] = entry.filePath();
    }
    return entries;
}

QString dash(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

std::vector<PortRow> portRows()
{
    const std::map<int, QString> entries = folderEntries();
    std::vector<bool> entryListed(256, false);
    std::vector<PortRow> rows;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        const QString canonical = QFileInfo(port.systemLocation()).canonicalFilePath();
        QStringList coms;
        for (const auto &[n, path] : entries) {
            if (!canonical.isEmpty() && QFileInfo(path).canonicalFilePath() == canonical) {
                coms << QString::number(n);
                entryListed[std::size_t(n)] = true;
            }
        }
        // A built-in port keeps its own number unless the folder gives that number elsewhere.
        static const QRegularExpression builtIn(QStringLiteral("^/dev/ttyS([0-9]{1,3})$"));
        const auto match = builtIn.match(port.systemLocation());
        const int own = match.hasMatch() ? match.captured(1).toInt() + 1 : 0;
        if (own >= 1 && own <= 255 && !entries.contains(own))
            coms << QString::number(own);
        const QString usb = port.hasVendorIdentifier() && port.hasProductIdentifier()
            ? QStringLiteral("%1:%2")
                  .arg(port.vendorIdentifier(), 4, 16, QChar(u'0'))
                  .arg(port.productIdentifier(), 4, 16, QChar(u'0'))
            : QString();
        rows.push_back({dash(coms.join(u',')),
                        port.systemLocation(),
                        {dash(port.description()), dash(port.manufacturer()),
                         dash(port.serialNumber()), dash(usb)}});
    }
    // Entries whose device the serial library does not list: pseudo-terminals, devices
    // unplugged or named wrongly.
    for (const auto &[n, path] : entries) {
        if (entryListed[std::size_t(n)])
            continue;
        const QFileInfo info(path);
        const QString device = info.isSymLink() ? info.symLinkTarget() : path;
        rows.push_back(
            {QString::number(n),
             device,
             {info.exists() ? QStringLiteral("-") : QStringLiteral("(missing)"), "-", "-", "-"}});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const PortRow &a, const PortRow &b) {
        return a.com.split(u',').front().toInt() < b.com.split(u',').front().toInt();
    });
    return rows;
}

QByteArray portTable()
{
    std::vector<QStringList> lines{
        {"COM", "DEVICE", "DESCRIPTION", "MANUFACTURER", "SERIAL", "USB"}};
    for (const PortRow &r : portRows())
        lines.push_back(QStringList{r.com, r.device} + r.details);
    std::vector<qsizetype> widths(6, 0);
    for (const QStringList &l : lines)
        for (qsizetype c = 0; c < l.size(); ++c)
            widths[std::size_t(c)] = std::max(widths[std::size_t(c)], l[c].size());
    QString text;
    for (const QStringList &l : lines) {
        QString line;
        for (qsizetype c = 0; c < l.size(); ++c)
            line += c + 1 < l.size() ? l[c].leftJustified(widths[std::size_t(c)] + 2) : l[c];
        text += line + u'\n';
    }
    return text.toUtf8();
}

// Makes the folder's entry comN a link to the device, replacing the entry at once, so that
// no reader ever finds it missing halfway.
QByteArray assign(int com, const QString &device)
{
    const QFileInfo target(device);
    if (!target.exists())
        throw EDeviceFault(QStringLiteral("%1 does not exist").arg(device));
    // Relative to the caller's folder, not the port folder; links are kept, not resolved, so
    // that a by-id name stays the adapter's.
    const QString path = target.isAbsolute() ? device : target.absoluteFilePath();
    const QString folder = analyzer::portFolder();
    const QString entry = folder + QStringLiteral("/com%1").arg(com);
    if (!QDir().mkpath(folder))
        throw board::cannotCreateFile(entry, QStringLiteral("The folder cannot be created"));
    const QString staged = folder + QStringLiteral("/.com%1.%2").arg(com).arg(::getpid());
    if (::symlink(QFile::encodeName(path).constData(), QFile::encodeName(staged).constData()) != 0)
        throw board::cannotCreateFile(entry, errno);
    if (::rename(QFile::encodeName(staged).constData(), QFile::encodeName(entry).constData())
        != 0) {
        const int error = errno;
        ::unlink(QFile::encodeName(staged).constData());
        throw board::cannotCreateFile(entry, error);
    }
    return QStringLiteral("COM %1 is now %2 (%3)\n").arg(com).arg(path, entry).toUtf8();
}

} // namespace

QString portName(const Invocation &inv)
{
    return inv.portPath.isEmpty() ? QStringLiteral("COM %1").arg(inv.com) : inv.portPath;
}

void linkCall(const std::function<void()> &call)
{
    try {
        call();
    } catch (const analyzer::LinkError &e) {
        throw EDeviceFault(linktext::describe(e.fault()));
    }
}

void openPort(analyzer::Session &session, const Invocation &inv)
{
    linkCall([&] {
        if (inv.portPath.isEmpty())
            session.open(inv.com);
        else
            session.open(inv.portPath);
    });
}

int runPorts(const Invocation &inv)
{
    writeWhole({}, inv.assignPort ? assign(inv.com, inv.portPath) : portTable());
    return kExitOk;
}

} // namespace cli
