#pragma once
// Files that the program writes whole (exports, the settings store, desktop
// files) and the files it reads whole. Both go through here so that a failed
// write never replaces a file and no read waits on a pipe or a device.

#include <sys/types.h>

#include <string>
#include <string_view>

// Writes Bytes as the whole new content of Path. The bytes go to a temporary
// file beside Path ("<Path>.tmp-XXXXXX"), are written, synced to the disk and
// closed, each step checked, and only then replace Path; after a failure at
// any step the temporary file is gone and Path is as it was, byte for byte.
// A link at Path is followed: the file it leads to is replaced and the link
// stays. A replaced file keeps its mode; a new one gets NewFileMode less the
// umask. An existing Path that is no regular file or is read-only is not
// replaced. Returns false with the system's reason in Reason.
bool WriteFileAtomically(const std::string& Path, std::string_view Bytes, std::string& Reason,
                         mode_t NewFileMode = 0666);

// Opens Path (links followed) for reading when it is a regular file. A pipe,
// socket, device or folder is refused at once, before anything could wait on
// its open or read from it without end. Returns the descriptor, or -1 with
// errno kept from the system (ENOENT for a missing file) and the reason in
// *Reason when given.
int OpenRegularFileForReading(const std::string& Path, std::string* Reason = nullptr);

// Reads the whole of Path, opened as OpenRegularFileForReading does, into
// Bytes. Sizes are not trusted: the bytes are read until the end. Returns
// false with errno kept from the system and the reason in *Reason when the
// file cannot be opened or a read fails; Bytes is then empty.
bool ReadRegularFile(const std::string& Path, std::string& Bytes, std::string* Reason = nullptr);
