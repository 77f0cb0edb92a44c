#include "app/file_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

namespace app {

TFileDialog::TFileDialog(Kind kind, QWidget *owner)
    : QObject(owner), kind_(kind), owner_(owner),
      presenter_([](QFileDialog &dialog) { return dialog.exec(); })
{
}

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
        dialog_ = new QFileDialog(owner_);
        // Qt's own dialog everywhere: the same behaviour and the same settings on every
        // desktop, whatever platform dialog it has.
        dialog_->setOption(QFileDialog::DontUseNativeDialog);
        dialog_->setFileMode(QFileDialog::AnyFile);
        dialog_->setAcceptMode(kind_ == Kind::Save ? QFileDialog::AcceptSave
                                                   : QFileDialog::AcceptOpen);
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
