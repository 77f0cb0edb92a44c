#pragma once

#include <QFileIconProvider>

namespace app {

// Icons and type names for the file dialogs, decided by an entry's name and kind (folder or
// file) alone. Qt's own provider asks the MIME database, which opens and reads a file whose
// name does not settle its type: a file under a lease, on a stalled network or FUSE mount, or
// /proc/kmsg would then hold the dialog (or consume what it reads). Nothing here opens a file.
class NameOnlyIconProvider : public QFileIconProvider {
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo &info) const override;
    QString type(const QFileInfo &info) const override;
};

} // namespace app
