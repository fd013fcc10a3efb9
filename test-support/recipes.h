// The recipes that README.md, the guides in docs/ and the manual pages show,
// as the tests run them: each is marked by name, so a test runs the very text
// a user copies.
#pragma once

#include <string>
#include <vector>

#include "process.h"
#include "tempdir.h"

namespace support {

// A file of the source tree (a path relative to its top): where it is, and
// its text (or empty).
std::string source_path(const std::string& path);
std::string source_text(const std::string& path);

// The pages that hold recipes: README.md, then docs/*.md in name order.
std::vector<std::string> doc_pages();

// The code block after "<!-- recipe: NAME -->" in whichever of those pages
// marks it, without its fences. A name marked on no page or more than once
// fails the test (and gives an empty text for none).
std::string doc_recipe(const std::string& name);
// Every recipe's name, page by page, as often as it is marked.
std::vector<std::string> doc_recipe_names();

// The same for the other kinds of block the pages mark: "output" (what a
// recipe prints) and "transcript" (commands after "$ ", each followed by the
// lines it prints).
std::string doc_block(const std::string& kind, const std::string& name);
std::vector<std::string> doc_block_names(const std::string& kind);

// Runs a transcript's commands in turn in dir, each through sh, and expects
// each to succeed and print exactly the lines after it. "$ cat FILE" for a
// FILE not there yet shows the input: FILE is made with those lines.
void run_transcript(const TempDir& dir, const std::string& transcript);

// The .nf block after '.\" recipe: NAME' in a manual page (a path in the
// source tree), with the roff escapes it uses undone.
std::string man_recipe(const std::string& page, const std::string& name);
std::vector<std::string> man_recipe_names(const std::string& page);

// Runs program with args in dir, with the built programs first in PATH.
Outcome run_with_programs(const TempDir& dir, const std::string& program,
                          const std::vector<std::string>& args, int umask = 022);
// Runs a shell script the same way.
Outcome run_script(const TempDir& dir, const std::string& script, int umask = 022);

// The test cases in a JUnit XML file in dir as python3's XML parser reads
// them, a line each: the name, and for a failure a tab and its message
// ("skipped: " and its message for a skip).
// Anything the parser rejects fails the outcome (status 1, the reason on
// stderr). has_python() tells whether python3 is installed.
bool has_python();
Outcome junit_cases(const TempDir& dir, const std::string& file);

}  // namespace support
