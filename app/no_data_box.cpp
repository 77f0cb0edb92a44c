#include "app/no_data_box.h"

#include "app/program_title.h"
#include "app/screen_centre.h"

#include <QMessageBox>
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
        centreOnScreen(this);
    }
};

} // namespace

void showNoDataBox(QWidget *owner)
{
    ScreenCentredMessageBox box(QMessageBox::NoIcon, programTitle(),
                                QString::fromUtf16(u"仪器没有存储数据"), QMessageBox::Ok, owner);
    // A fixed text of the program's own: no markup in it to interpret.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace app
