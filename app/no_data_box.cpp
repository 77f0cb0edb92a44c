#include "app/no_data_box.h"

#include "app/program_title.h"

#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>

namespace app {
namespace {

// QDialog centres a box over its parent; this one belongs in the middle of the screen.
class ScreenCentredMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent *event) override
    {
        QMessageBox::showEvent(event); // fixes the box's size
        if (const QScreen *s = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->availableGeometry().center());
            move(frame.topLeft());
        }
    }
};

} // namespace

void showNoDataBox(QWidget *owner)
{
    ScreenCentredMessageBox box(QMessageBox::NoIcon, programTitle(),
                                QString::fromUtf16(u"仪器没有存储数据"), QMessageBox::Ok, owner);
    // Messages carry file names, device paths and what the user typed: never markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace app
