#include "app/file_dialog.h"

#include "app/file_icons.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QScreen>
#include <QSettings>

namespace app {

namespace {

// Qt's file dialog reads its last folder, history and view from the user's settings when it
// is made and writes them back when it goes, through the one settings file Qt keeps for
// itself. The program keeps nothing between runs and has no settings of its own: user-scope
// settings are pointed at a folder that can never exist, so reads find nothing and writes
// fail quietly. Within the run the dialogs remember by themselves.
void keepNothingBetweenRuns()
{
    static const bool done = [] {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QStringLiteral("/dev/null/no-settings"));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QStringLiteral("/dev/null/no-settings"));
        return true;
    }();
    Q_UNUSED(done);
}

} // namespace

TFileDialog::TFileDialog(Kind kind, QWidget *owner)
    : QObject(owner),
      kind_(kind),
      owner_(owner),
      icons_(std::make_unique<NameOnlyIconProvider>()),
      presenter_([](QFileDialog &dialog) { return dialog.exec(); })
{ }

TFileDialog::~TFileDialog()
{
    delete dialog_.data();
}

void TFileDialog::setPresenter(Presenter presenter)
{
    presenter_ = std::move(presenter);
}

QFileDialog &TFileDialog::prepare()
{
    if (!dialog_) {
        keepNothingBetweenRuns();
        dialog_ = new QFileDialog(owner_);
        // Qt's own dialog everywhere: the same behaviour and the same settings on every
        // desktop, whatever platform dialog it has.
        dialog_->setOption(QFileDialog::DontUseNativeDialog);
        dialog_->setFileMode(QFileDialog::AnyFile);
        dialog_->setAcceptMode(kind_ == Kind::Save ? QFileDialog::AcceptSave
                                                   : QFileDialog::AcceptOpen);
        dialog_->setIconProvider(icons_.get());
        // No filter: every file is listed and the type list stays empty, where Qt would
        // offer "All Files (*)".
        dialog_->setNameFilters({});
        // Placed when its size is final: the dialog lays itself out on showing.
        dialog_->installEventFilter(this);
    }
    QFileDialog &dialog = *dialog_;
    dialog.setDefaultSuffix(defaultExt_);
    const QFileInfo proposed(fileName_);
    if (proposed.isAbsolute() && !proposed.dir().exists()) {
        // Qt's dialog cannot open a folder that is gone and would cut the proposal down to a
        // bare name; show the nearest folder that still exists and propose the full path.
        QString nearest = proposed.absolutePath();
        while (!QFileInfo(nearest).isDir() && nearest != QDir::rootPath())
            nearest = QFileInfo(nearest).absolutePath();
        dialog.setDirectory(nearest);
        if (auto *field = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            field->setText(fileName_);
        else
            dialog.selectFile(fileName_);
    } else {
        dialog.selectFile(fileName_); // a full path also opens its folder
    }
    dialog.setResult(QDialog::Rejected);
    return dialog;
}

bool TFileDialog::eventFilter(QObject *watched, QEvent *event)
{
    // The type first: while the dialog is destroyed its events still pass here, and it is no
    // longer a QFileDialog to look at.
    if (event->type() == QEvent::Show && dialog_ && watched == dialog_.get())
        place(*dialog_);
    return QObject::eventFilter(watched, event);
}

void TFileDialog::place(QFileDialog &dialog) const
{
    const QScreen *screen = owner_ ? owner_->screen() : dialog.screen();
    if (!screen)
        return;
    // The frame is known once the dialog was shown; the first time, the window system adds
    // it after this.
    const QSize frame = dialog.frameGeometry().size().expandedTo(dialog.size());
    const QRect free = screen->availableGeometry();
    const int x = free.x() + std::max(0, free.width() - frame.width()) / 2;
    const int y = free.y() + std::max(0, free.height() - frame.height()) / 3;
    // Moved, a dialog is no longer centred over its owner when shown.
    dialog.move(x, y);
}

bool TFileDialog::Execute()
{
    QFileDialog &dialog = prepare();
    if (presenter_(dialog) != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return false;
    fileName_ = chosen.first();
    return true;
}

} // namespace app

// Compiled with this file rather than on its own: Qt's headers are read once.
#include "moc_file_dialog.cpp"
