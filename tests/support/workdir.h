#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>

// A fresh temporary folder as the working directory, where the window makes its
// profiles folder; the one before is current again once this goes. As a member
// it serves the whole test program (check isEntered() in initTestCase); in a
// std::optional emplaced in init() and reset in cleanup(), each test gets its own.
class FreshWorkDir
{
public:
    FreshWorkDir() : entered(dir.isValid() && QDir::setCurrent(dir.path())) {}
    ~FreshWorkDir() { QDir::setCurrent(previous); }
    FreshWorkDir(const FreshWorkDir &) = delete;
    FreshWorkDir &operator=(const FreshWorkDir &) = delete;

    bool isEntered() const { return entered; }
    QString path() const { return dir.path(); }
    QString filePath(const QString &name) const { return dir.filePath(name); }

private:
    const QString previous = QDir::currentPath();
    QTemporaryDir dir;
    const bool entered;
};
