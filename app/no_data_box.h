#pragma once

class QWidget;

namespace app {

// The box shown when the analyzer answers a download with no stored data: no icon, the
// program title, one OK button, "仪器没有存储数据" in both languages, centred on the screen
// that shows `owner`. Returns when the user closed it.
void showNoDataBox(QWidget *owner);

} // namespace app
