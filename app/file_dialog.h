#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QFileDialog;
class QWidget;

namespace app {

class NameOnlyIconProvider;

// A file dialog with the properties the window's handlers set (FileName, DefaultExt), shown
// through Qt's own QFileDialog. The QFileDialog is kept between showings, so it opens in the
// folder used last; nothing of it outlives the run (Qt's dialog would keep its folder and
// history in the user's settings). Its file-type list is empty, every file is listed, icons
// never read a file, and each showing is placed on the owner's monitor, centred across, a
// third of the free height above and two thirds below.
//
// Open: accepts the name of a file that does not exist (the load then reports it).
// Save: the dialog's standard question before an existing file is replaced.
class TFileDialog : public QObject {
    Q_OBJECT
public:
    enum class Kind { Open, Save };

    // Shows the prepared dialog and returns its QDialog result. The default runs it
    // modally; another presenter can answer it in its place.
    using Presenter = std::function<int(QFileDialog &dialog)>;

    TFileDialog(Kind kind, QWidget *owner);
    ~TFileDialog() override;

    // The name proposed at the next showing; after a confirmed showing, the full path chosen.
    const QString &FileName() const { return fileName_; }
    void setFileName(const QString &name) { fileName_ = name; }

    // Appended, after a period, to a name given without an extension. Empty: none.
    const QString &DefaultExt() const { return defaultExt_; }
    void setDefaultExt(const QString &suffix) { defaultExt_ = suffix; }

    // Shows the dialog. True when confirmed, FileName() then holding the chosen full path;
    // false when cancelled, nothing changed.
    bool Execute();

    void setPresenter(Presenter presenter);

private:
    QFileDialog &prepare();
    void place(QFileDialog &dialog) const;
    bool eventFilter(QObject *watched, QEvent *event) override;

    Kind kind_;
    QWidget *owner_;
    QString fileName_;
    QString defaultExt_;
    std::unique_ptr<NameOnlyIconProvider> icons_;
    QPointer<QFileDialog> dialog_;
    Presenter presenter_;
};

} // namespace app
