// Where a tool writes its result. An output is never one of the tool's inputs (the same file by
// device and inode, whatever the name or the links that lead to it), never an existing file unless
// the user said so, and never half a file: it grows under a temporary name in the target's
// directory and takes the target's name only when complete, so an interrupted run leaves the old
// file as it was.
#pragma once
#include <string>
#include <vector>

// Why out may not be written, as one line ("'a.mod' is the input 'a.mod'; ..."), or "" when it
// may. force allows replacing an existing regular file, never an input.
std::string output_refusal(const std::string& out, const std::vector<std::string>& inputs,
                           bool force);

// Creates the temporary file for out and returns its name, or "" (errno says why). Until
// output_commit or output_abandon, an interrupt or termination signal removes it. An out that is
// a device or a pipe is no file to replace: its own name comes back, to be written in place.
std::string output_begin(const std::string& out);
// Gives the complete temporary file out's name. False (errno says why) leaves the temporary file
// removed and out untouched.
bool output_commit(const std::string& temp, const std::string& out);
// Removes the temporary file of a run that failed.
void output_abandon(const std::string& temp);
