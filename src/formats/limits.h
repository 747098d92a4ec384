#pragma once

namespace korvant {

constexpr int MAXNODE = 60000;  // node slots of every node array
constexpr int MAXELEM = 20000;  // element slots of every element array
constexpr int MAXCON = 6;       // constituents of a transport step
constexpr int MAXDOF = 6;       // degrees of freedom of a 3D step
constexpr int MAXCNT = 8;       // entries of a 3D step's count list

constexpr int kBannerLines = 15;
constexpr int kBannerWidth = 80;
constexpr int kBannerChars = kBannerLines * kBannerWidth;  // 1200 codes
constexpr int kHeaderInts = 40;                            // IREC
constexpr int kHeaderReals = 40;                           // FREC
constexpr int kTitleChars = 77;

constexpr int kMaxSteps = 500;  // time-step records examined per file and pass

// The first integer of a header file: above this the file starts with banner text.
constexpr int kIntegerCodedMax = 200;

}  // namespace korvant
