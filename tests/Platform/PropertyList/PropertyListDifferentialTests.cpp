// Our property-list writer and reader against another widely used one, Python's plistlib, over
// generated values: what we write it reads as we meant it, and what it writes (binary and XML)
// we read as it does. Both sides print each value in the same canonical text (see
// plistlib_peer.py), which the test compares.

#include "Platform/PropertyList/PropertyList.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <map>

using namespace Platform;

namespace {

QString python()
{
    if (QFile::exists(QStringLiteral("/usr/bin/python3")))
        return QStringLiteral("/usr/bin/python3");
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

// Runs the peer; its lines "NAME CANONICAL" by name.
std::map<QString, QString> runPeer(const QStringList &arguments)
{
    QProcess process;
    process.start(python(), QStringList{QStringLiteral(KIVARO_SOURCE_DIR "/tests/Platform/PropertyList/plistlib_peer.py")} + arguments);
    EXPECT_TRUE(process.waitForFinished(120'000)) << "plistlib_peer.py did not finish";
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    std::map<QString, QString> lines;
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (space > 0)
            lines[QString::fromUtf8(line.left(space))] = QString::fromUtf8(line.mid(space + 1));
    }
    return lines;
}

QString utf16Hex(const QString &text)
{
    QString hex;
    for (const QChar c : text)
        hex += QStringLiteral("%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    return hex;
}

// The canonical text of a value as we mean it: lone surrogates as U+FFFD, since that is how
// they are written.
QString canonical(const QVariant &value)
{
    const auto whole = [](QString s) -> QString {
        for (qsizetype i = 0; i < s.size(); ++i) {
            if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
                ++i;
            else if (s[i].isSurrogate())
                s[i] = QChar(QChar::ReplacementCharacter);
        }
        return s;
    };
    const auto text = [&whole](const QString &s) -> QString { return QStringLiteral("s") + utf16Hex(whole(s)); };
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        // Ordered by the UTF-16 code units of the keys as written, as the peer orders them.
        std::map<QString, QString> items;
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            items[utf16Hex(whole(it.key()))] = text(it.key()) + QLatin1Char(':') + canonical(it.value());
        QStringList joined;
        for (const auto &item : items)
            joined << item.second;
        return QLatin1Char('{') + joined.join(QLatin1Char(',')) + QLatin1Char('}');
    }
    case QMetaType::QVariantList: {
        QStringList items;
        for (const QVariant &item : value.toList())
            items << canonical(item);
        return QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    case QMetaType::QString:
        return text(value.toString());
    case QMetaType::QByteArray:
        return QStringLiteral("d") + QString::fromLatin1(value.toByteArray().toHex());
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("T") : QStringLiteral("F");
    case QMetaType::Double: {
        const double real = value.toDouble();
        if (std::isnan(real))
            return QStringLiteral("rnan");
        return QStringLiteral("r%1").arg(std::bit_cast<quint64>(real), 16, 16, QLatin1Char('0'));
    }
    case QMetaType::QDateTime:
        return QStringLiteral("t%1").arg(value.toDateTime().toMSecsSinceEpoch());
    default:
        return QStringLiteral("i%1").arg(value.toLongLong());
    }
}

class Generator {
public:
    explicit Generator(quint32 seed) : m_random(seed) {}

    // A value of about 200 nodes at most.
    QVariant root()
    {
        m_budget = 200;
        return value(1);
    }

private:
    QVariant value(int depth)
    {
        if (depth >= kPropertyListMaxDepth || --m_budget <= 0 || chance(0.35))
            return scalar();
        if (chance(0.05)) {
            QVariant chain = scalar();
            for (int level = depth; level < kPropertyListMaxDepth; ++level)
                chain = QVariantList{chain};
            return chain;
        }
        if (chance(0.5)) {
            QVariantList list;
            for (int i = int(m_random.bounded(5)); i > 0; --i)
                list << value(depth + 1);
            return list;
        }
        QVariantMap map;
        for (int i = int(m_random.bounded(5)); i > 0; --i)
            map.insert(text(), value(depth + 1));
        return map;
    }

    bool chance(double p) { return m_random.generateDouble() < p; }

    // Astral characters, lone halves of a pair at either end or in the middle, XML's own
    // characters and control characters (but NUL, which is refused).
    QString text()
    {
        static const QStringList palette = {
            QStringLiteral("a"), QStringLiteral("Z"), QStringLiteral(" "), QStringLiteral("\t"), QStringLiteral("\n"),
            QStringLiteral("&"), QStringLiteral("<"), QStringLiteral("]]>"), QStringLiteral("\u00e9"), QStringLiteral("\u4e2d"),
            QStringLiteral("\u200b"), QString::fromUtf16(u"\U0001F600"), QString::fromUtf16(u"\U00020BB7"), QString(QChar(0xD83D)),
            QString(QChar(0xDE00)), QString(QChar(0xDBFF)), QString(QChar(0x01)), QString(QChar(0x7F)), QString(QChar(0xFFFD))};
        QString s;
        for (int i = int(m_random.bounded(8)); i > 0; --i)
            s += palette[int(m_random.bounded(int(palette.size())))];
        return s;
    }

    QVariant scalar()
    {
        static const QList<qint64> integers = {0, 1, -1, 14, 15, 255, 256, 65535, 65536, 2147483647, 2147483648LL, 4294967295LL,
                                               4294967296LL, std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::min(), -256};
        static const QList<double> reals = {0.0, -0.0, 1.5, 0.1, 1e308, -1e308, 5e-324, 2.2250738585072014e-308,
                                            std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                                            std::numeric_limits<double>::quiet_NaN(), 1.0 / 3};
        // The years 1 to 9999, which the peer's dates cover.
        constexpr qint64 earliest = -62'135'596'800'000, latest = 253'402'300'799'999;
        static const QList<qint64> dates = {978'307'200'000, 0, earliest, latest, 978'307'199'999, 978'307'200'001, -1};
        switch (m_random.bounded(7)) {
        case 0:
            return text();
        case 1:
            return chance(0.6) ? QVariant::fromValue(integers[int(m_random.bounded(int(integers.size())))])
                               : QVariant::fromValue(qint64(m_random.generate64()));
        case 2: {
            if (chance(0.5))
                return reals[int(m_random.bounded(int(reals.size())))];
            const double bits = std::bit_cast<double>(m_random.generate64());
            return std::isnan(bits) ? 0.5 : bits;
        }
        case 3: {
            const qint64 ms = chance(0.5) ? dates[int(m_random.bounded(int(dates.size())))]
                                          : earliest + qint64(m_random.generate64() % quint64(latest - earliest));
            return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
        }
        case 4: {
            QByteArray bytes(int(m_random.bounded(40)), Qt::Uninitialized);
            for (char &b : bytes)
                b = char(m_random.bounded(256));
            return bytes;
        }
        default:
            return chance(0.5);
        }
    }

    QRandomGenerator m_random;
    int m_budget = 0;
};

class PropertyListDifferential : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (python().isEmpty())
            GTEST_FAIL() << "python3 is needed (scripts/install-deps installs it)";
        ASSERT_TRUE(m_folder.isValid());
    }
    QTemporaryDir m_folder;
};

} // namespace

TEST_F(PropertyListDifferential, WhatWeWriteAnotherReaderReadsAsWeMeantIt)
{
    Generator generator(2030);
    std::map<QString, QString> expected;
    for (int n = 0; n < 1000; ++n) {
        const QVariant root = generator.root();
        QByteArray bytes;
        try {
            bytes = encodePropertyList(root);
        } catch (const PropertyListError &) {
            // Only keys that differ in a lone surrogate alone are refused.
            continue;
        }
        const QString name = QStringLiteral("%1.bplist").arg(n, 4, 10, QLatin1Char('0'));
        QFile file(m_folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        expected[name] = canonical(root);
    }
    ASSERT_GT(expected.size(), 750u);
    const std::map<QString, QString> read = runPeer({QStringLiteral("read"), m_folder.path()});
    for (const auto &[name, canonicalText] : expected) {
        const auto found = read.find(name);
        ASSERT_NE(found, read.end()) << name.toStdString();
        EXPECT_EQ(found->second, canonicalText) << name.toStdString();
    }
}

TEST_F(PropertyListDifferential, WhatAnotherWriterWritesWeReadAsItDoes)
{
    const std::map<QString, QString> written = runPeer({QStringLiteral("write"), m_folder.path(), QStringLiteral("1000"), QStringLiteral("2030")});
    ASSERT_GT(written.size(), 1800u);
    int xml = 0;
    for (const auto &[name, canonicalText] : written) {
        QFile file(m_folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        xml += name.endsWith(QLatin1String(".xml"));
        try {
            EXPECT_EQ(canonical(decodePropertyList(file.readAll())), canonicalText) << name.toStdString();
        } catch (const PropertyListError &error) {
            ADD_FAILURE() << name.toStdString() << ": " << error.what();
        }
    }
    EXPECT_GT(xml, 900);
}
