#include "app/languages.h"

#include <QAbstractButton>
#include <QGroupBox>

namespace app {

// The spacing inside " Download    Data" and "     清空       存储器" is part of the texts:
// the two buttons wrap their captions at spaces.
const std::array<LanguageRow, 15> kLanguageRows{{
    {"GroupBox1", TextProperty::Caption, u"通信端口", u"Serial Port"},
    {"GroupBox2", TextProperty::Caption, u"仪器型号", u"Select Model"},
    {"Button1", TextProperty::Caption, u"建立连接", u"Connect"},
    {"Button2", TextProperty::Caption, u"中断连接", u"Disconnect"},
    {"Button14", TextProperty::Caption, u"下载数据", u" Download    Data"},
    {"Button4", TextProperty::Caption, u"     清空       存储器", u"Clear Memory"},
    {"Button8", TextProperty::Caption, u"保存数据", u"Save"},
    {"Button16", TextProperty::Caption, u"打开文件", u"Open"},
    {"Button7", TextProperty::Caption, u"清空文本", u"Clear Text"},
    {"Button3", TextProperty::Caption, u"退出", u"Exit"},
    {"Button14", TextProperty::Hint, u"从电池分析仪中导出数据",
     u"Download data from Battery Analyzer"},
    {"Button4", TextProperty::Hint, u"清除电池分析仪存储的数据",
     u"Clear the Memory of Battery Analyzer"},
    {"Button8", TextProperty::Hint, u"将左侧数据面板上的数据保存在电脑上",
     u"Save the data display on left board to PC"},
    {"Button16", TextProperty::Hint, u"打开电脑上已存储的数据文件", u"Open the data saved in PC"},
    {"Button7", TextProperty::Hint, u"清空数据面板", u"Clear the data board"},
}};

void applyLanguage(QWidget &root, Language language)
{
    for (const LanguageRow &row : kLanguageRows) {
        QWidget *control = root.findChild<QWidget *>(QLatin1StringView(row.control));
        const QString text = row.text(language);
        if (row.property == TextProperty::Hint)
            control->setToolTip(text);
        else if (auto *box = qobject_cast<QGroupBox *>(control))
            box->setTitle(text);
        else
            qobject_cast<QAbstractButton *>(control)->setText(text);
    }
}

} // namespace app
