// The file-system calls of the host's file layer (checked streams, staging, commit,
// recovery), each made through one of these wrappers. Private to the host library.
//
// - A call interrupted by a signal (EINTR) is made again; a close that returns EINTR
//   has released its descriptor and is a success.
// - Every call is counted, so that a test can make the n-th one of a run fail: with
//   VEKEXPORT_FAIL_FILE_CALL=N:ERRNO in the environment (ERRNO a number or a name:
//   ENOSPC, EIO, EINTR, EDQUOT, EFBIG), call N (from 1) of the process fails once
//   with that error, and a line on standard error says which call it was.
#pragma once

#include <sys/types.h>

#include <string>

namespace hostfs {

int Open(const char* path, int flags, mode_t mode = 0);
// Writes all n bytes; false with errno set when it cannot.
bool WriteAll(int fd, const char* p, size_t n);
ssize_t Read(int fd, char* p, size_t n);
int Fsync(int fd);
int Close(int fd);
int Rename(const char* from, const char* to);
int Unlink(const char* path);
int Link(const char* from, const char* to);
int Fchmod(int fd, mode_t mode);
int Flock(int fd, int operation);
// A new file from a template ending in "XXXXXX", as mkostemp.
int MakeTemp(std::string& pathTemplate);
// Syncs a directory, so that the renames and removals in it reach the disk.
int SyncDirectory(const std::string& dir);

// The directory part of a path, with its slash ("" for a bare name), and the rest.
std::string DirectoryOf(const std::string& path);
std::string BaseOf(const std::string& path);

} // namespace hostfs
