#pragma once
// Placeholder until the rename checks land.
#include <string>
#include <vector>
bool ChkDir(const std::string &Folder, bool Create);
bool ChkFile(std::string &Path);
bool ChkFList(std::vector<std::string> &Paths, bool Auto);
