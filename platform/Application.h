#pragma once

// The program's name: the main window's title and the caption of its own boxes.
constexpr char APPLICATION_NAME[] = "Lumivox Tool";
