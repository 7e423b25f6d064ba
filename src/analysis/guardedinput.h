#pragma once

#include "exportrepair.h"
#include "markupguard.h"

#include <QByteArray>
#include <QIODevice>

#include <exception>

// The export's bytes on their way to libxml2: repaired, then through the guard against its
// quadratic paths.
struct GuardedInput
{
    QIODevice& device;
    exportrepair::ByteRepair repair;
    markupguard::ByteStreamGuard guard;
    QByteArray chunk;
    QByteArray repaired;
    QByteArray pending;
    qsizetype pendingStart = 0;
    bool ended = false;
    bool failed = false;
    qint64 totalRead = 0;
    std::exception_ptr failure;

    // Appends up to length of the next bytes to pending, and more at a time unless exactly is
    // set; false at the end of the input or on a failure.
    bool fill(qint64 length, bool exactly = false);
};

// libxml2's read callback over a GuardedInput, its context.
int readGuardedInput(void* context, char* buffer, int length);
// libxml2's close callback: the device belongs to the caller.
int closeNothing(void*);

// The parser options for the export, from what its prolog declares, which it reads ahead.
int exportParserOptions(GuardedInput& input);
