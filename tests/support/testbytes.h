#pragma once

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QString>
#include <QTest>

#include <bit>
#include <cstdint>
#include <type_traits>

static_assert(std::endian::native == std::endian::little, "the helpers give little-endian bytes");

// The bytes of a plain value (a record, a packet, a number) as they lie in memory.
template <typename T>
QByteArray bytesOf(const T &value)
{
    static_assert(std::is_trivially_copyable_v<T>);
    return QByteArray(reinterpret_cast<const char *>(&value), sizeof value);
}

// Little-endian fields as a controller or a simulator sends them.
inline QByteArray f32(float value) { return bytesOf(value); }
inline QByteArray le16(std::uint16_t value) { return bytesOf(value); }
inline QByteArray le32(std::uint32_t value) { return bytesOf(value); }

// `size` bytes that differ from their neighbours and from another seed's, so a
// shifted, truncated or mixed-up copy shows. Every byte stays in 0..`modulus`-1:
// the default keeps them valid in any byte-sized control.
inline QByteArray patterned(int size, int seed, int step = 3, int modulus = 50)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((seed + i * step) % modulus);
    return bytes;
}

// The whole file; empty when it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(content), content.size());
}

// Every entry below `root` with its kind and content, so that any change shows.
inline QMap<QString, QByteArray> tree(const QString &root)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.nextFileInfo());
        QByteArray &entry = entries[QDir(root).relativeFilePath(info.filePath())];
        if (info.isSymLink())
            entry = "link to " + info.symLinkTarget().toUtf8();
        else if (info.isDir())
            entry = "folder";
        else if (info.isFile())
            entry = "file " + readFile(info.filePath());
        else
            entry = "other";
    }
    return entries;
}
