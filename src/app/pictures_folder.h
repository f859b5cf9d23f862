#pragma once
// The user's pictures folder, the show's folder on Linux until the user picks another.

#include <cstdint>

// XDG_PICTURES_DIR from the text of a user-dirs.dirs file, with $HOME expanded; zero when the
// text names none (or one too long for a path).
int32_t PicturesFolderFromDirs(const char* dirsText, const char* home, char* folder);
// From $XDG_CONFIG_HOME/user-dirs.dirs (default ~/.config), else ~/Pictures. MaxPath bytes.
void DefaultPicturesFolder(char* folder);
