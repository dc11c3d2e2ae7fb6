#pragma once

// The program path the task tests register.
inline const wchar_t kProgram[] = L"C:\\Program Files\\Quorvel\\PlumixPlayerUpdateService.exe";
