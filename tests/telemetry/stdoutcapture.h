#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstdio>
#include <unistd.h>

// What `action` writes to standard output: file descriptor 1 points at a
// temporary file while it runs. stdout is not flushed afterwards, so text the
// action leaves in the stdio buffer is missing here: only flushed lines count.
template <typename Action>
QByteArray stdoutOf(Action &&action)
{
    std::fflush(stdout);
    std::FILE *capture = std::tmpfile();
    if (!capture)
        qFatal("stdoutOf: no temporary file");
    const int saved = ::dup(1);
    if (saved < 0 || ::dup2(::fileno(capture), 1) < 0)
        qFatal("stdoutOf: cannot redirect standard output");
    action();
    ::dup2(saved, 1);
    ::close(saved);

    QByteArray text;
    std::rewind(capture);
    char chunk[4096];
    while (const std::size_t n = std::fread(chunk, 1, sizeof chunk, capture))
        text.append(chunk, qsizetype(n));
    std::fclose(capture);
#ifdef Q_OS_WIN
    // stdout is in text mode there: each '\n' the program writes arrives as "\r\n".
    text.replace("\r\n", "\n");
#endif
    return text;
}
