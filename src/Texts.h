#pragma once

// The program's texts in the user's language. A file declares once, in its
// own namespace, the context its texts are filed under in the translations:
//
//     TINTWELL_TR_CONTEXT("CensusReport");
//
// and then writes tr("...") as a class of Qt's would; lupdate finds the
// texts by those calls.

#include <QCoreApplication>
#include <QString>

#define TINTWELL_TR_CONTEXT(context)                                                                                   \
    [[maybe_unused]] inline QString tr(const char *text)                                                               \
    {                                                                                                                  \
        return QCoreApplication::translate(context, text);                                                             \
    }                                                                                                                  \
    static_assert(true)
