#pragma once

#include <windows.h>
#include <propkeydef.h>

#include <string>
#include <vector>

// The scripted use of the program, as data: the script drives the real sheet through it, and the
// sweep's model of the rules reads the same steps to say what each must write.
namespace sweep {

// The speakers of the built-in laptop, whose effects the page shows.
extern const wchar_t kSpeakers[];

enum class Box { Expander, Headphone, NaturalBass };
enum class StepKind { Click, Slide, Outside, Jack, Close };

struct ScriptStep {
    const char* name;
    StepKind kind;
    Box box = Box::Expander;  // Click: the box clicked
    int position = 0;         // Slide: where the thumb is let go, 0..6
    PROPERTYKEY key = {};     // Outside: the word another program writes
    DWORD word = 0;
};

// The driver's answers once headphones are plugged into the front panel (the jack step): a plug in
// the first front jack, whose port the generic retasking answer calls a headphone output.
inline constexpr WORD kPluggedJack = 0x0010;
inline constexpr DWORD kPluggedRetasking[2] = {2, 1};
inline constexpr DWORD kPluggedChipRetasking[2] = {0, 3};

// Ten commands, three changes by another program and a jack change, which turns the page to its
// headphone face; OK closes the sheet after the last.
const std::vector<ScriptStep>& Script();

// The parts of a run as reports name them: part 0 is start-up and the page's start, part i the
// script's step i ("step 3 'slide Bass Boost to 3'").
std::string PartName(size_t part);

}  // namespace sweep
