#pragma once

// Saving any bytes to a named file so that a failure never costs the user a
// file. A regular file is written beside the old one, synced to disk and
// then put in its place, so it is replaced only by a complete new one and a
// failure at any step (a write, the sync, the rename) leaves it as it was
// with no temporary file behind. A character device (/dev/null) is written
// in place; a pipe, socket or block device is refused. The one exception to
// the atomic save: a writable existing file in a folder where no new file
// may be made (so no temporary one) is rewritten in place, the only way to
// save there, and a failure then leaves it incomplete.

#include <functional>

class QByteArray;
class QIODevice;
class QString;

namespace SafeSave {

// Writes the content to the open device; on failure returns false and sets
// the reason.
using Writer = std::function<bool(QIODevice &device, QString &reason)>;

// Writes all of `bytes` to `device`. A write the disk takes only part of (a
// file size limit, a disk filling up) gives no reason; the rest, written
// again, does. On failure returns false and sets `reason` to the device's.
bool WriteAll(QIODevice &device, const QByteArray &bytes, QString &reason);

// Saves what `write` writes as `fileName`. On failure returns false and sets
// `reason` to the system's reason (or the writer's), a sentence.
bool Save(const QString &fileName, const Writer &write, QString &reason);

// For tests: called with the file's name after the content is written and
// synced, just before the new file takes the old one's place, so a test can
// make that last step fail. Empty (the default) calls nothing.
void SetBeforeCommit(std::function<void(const QString &fileName)> hook);

// For tests: what syncs the written file (its descriptor) to disk, returning
// 0 or -1 with errno set as fsync() does, so a test can make the sync fail.
// Empty (the default) is fsync().
void SetSync(std::function<int(int handle)> sync);

} // namespace SafeSave
