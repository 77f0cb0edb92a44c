// The index of line starts over a text past 4 GiB. The text is one page of memory mapped
// again and again, so 4 GiB of board cost a few megabytes.
#include "board/line_index.h"

#include <QtTest>

#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr qsizetype kPage = qsizetype(2) << 20;
constexpr qsizetype k4GiB = qsizetype(1) << 32;
constexpr qsizetype kPages = k4GiB / kPage + 2;

// kPages copies of one page whose line break CR LF sits at `breakAt`.
class RepeatedText {
public:
    explicit RepeatedText(qsizetype breakAt)
    {
        const int fd = memfd_create("page", 0);
        QByteArray page(kPage, 'a');
        page[breakAt] = '\r';
        page[breakAt + 1] = '\n';
        if (fd < 0 || ::write(fd, page.constData(), size_t(kPage)) != kPage)
            return;
        void *all = mmap(nullptr, size_t(kPages * kPage), PROT_NONE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (all != MAP_FAILED) {
            base_ = static_cast<char *>(all);
            for (qsizetype i = 0; i < kPages && base_; ++i)
                if (mmap(base_ + i * kPage, size_t(kPage), PROT_READ, MAP_SHARED | MAP_FIXED, fd, 0)
                    == MAP_FAILED)
                    base_ = nullptr;
        }
        ::close(fd);
    }
    ~RepeatedText()
    {
        if (base_)
            munmap(base_, size_t(kPages * kPage));
    }
    QByteArrayView view(qsizetype size = kPages * kPage) const { return {base_, size}; }
    bool valid() const { return base_; }

private:
    char *base_ = nullptr;
};

} // namespace

class TestLineIndex : public QObject {
    Q_OBJECT
private slots:
    void pastFourGiB_data();
    void pastFourGiB();
};

void TestLineIndex::pastFourGiB_data()
{
    QTest::addColumn<qsizetype>("breakAt");
    QTest::newRow("a line starts at 4 GiB") << kPage - 2;
    QTest::newRow("a line starts one byte before") << kPage - 3;
    QTest::newRow("a line starts two bytes after") << qsizetype(0);
}

void TestLineIndex::pastFourGiB()
{
    QFETCH(qsizetype, breakAt);
    const RepeatedText text(breakAt);
    QVERIFY(text.valid());
    board::LineIndex index;
    // Appended in two parts that meet just below 4 GiB, as the board grows.
    index.extend(text.view(k4GiB - 1));
    index.extend(text.view());
    QCOMPARE(index.end(), kPages * kPage);
    QCOMPARE(index.lineCount(), kPages + 1);
    // The first line that starts at 4 GiB or later.
    const qsizetype crossing = (k4GiB - breakAt - 2 + kPage - 1) / kPage + 1;
    for (const qsizetype line : {crossing - 1, crossing, crossing + 1, kPages}) {
        const qsizetype start = (line - 1) * kPage + breakAt + 2;
        QCOMPARE(index.lineStart(line), start);
        QCOMPARE(index.lineEnd(line - 1), start - 2);
        QCOMPARE(index.lineOf(start), line);
        QCOMPARE(index.lineOf(start - 1), line - 1);
        QCOMPARE(index.lineOf(start - 3), line - 1);
    }
    QVERIFY(index.lineStart(crossing - 1) < k4GiB && index.lineStart(crossing) >= k4GiB);
    QCOMPARE(index.lineOf(index.end()), kPages);
    QVERIFY(index.memoryBytes() < 64 * 1024);
}

QTEST_APPLESS_MAIN(TestLineIndex)
#include "tst_line_index.moc"
