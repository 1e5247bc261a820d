// The pictures of the window, drawn with GDI so that the program carries no
// bitmap files: header banner and logo, row icons, task icons, list images.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

namespace korvane::art {

void Banner(HDC dc, RECT area);
void Logo(HDC dc, int x, int y, int size);
// A 32 x 32 file-type tile with the type's short name on it.
void TypeIcon(HDC dc, int x, int y, int size, const std::wstring& label, int position);
enum class TaskIcon { RestorePoint, SystemFiles, ComponentStore };
void Task(HDC dc, int x, int y, int size, TaskIcon which);
// 16 x 16 images: 0 a red cross, 1 a green check mark.
HIMAGELIST RestrictionImages();
HICON ProgramIcon(HINSTANCE instance, int size);

}  // namespace korvane::art
