#include "app/file_dialog.h"

#include <QFileDialog>

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
        // Qt's own dialog everywhere: the same behaviour on every desktop, and tests can
        // answer it.
        dialog_->setOption(QFileDialog::DontUseNativeDialog);
        dialog_->setFileMode(QFileDialog::AnyFile);
        dialog_->setAcceptMode(kind_ == Kind::Save ? QFileDialog::AcceptSave
                                                   : QFileDialog::AcceptOpen);
    }
    QFileDialog &dialog = *dialog_;
    dialog.setDefaultSuffix(defaultExt_);
    dialog.selectFile(fileName_); // a full path also opens its folder
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
