#pragma once

#include <string_view>

namespace korvant {

// The per-node listings of the three time averages, as the console program
// writes them into its summary file and korvant-average into its table: a
// heading, then one line per node.

/// QMX2 heading: the weighting switch, the window's length, start and stop.
constexpr std::string_view kHydroListingHeading =
    "('1',/,2X,' Switch setting for weighting average current by depth was=',I3,/,/,"
    "10X,'AVERAGE OF EACH NODE OVER A',F12.6,' HR CYCLE, WITH START/STOP TIMES=',"
    "2F12.6,/,5X,' NODE  NDRY  XVEL  X-MIN  X-MAX',4X,'YVEL  Y-MIN  Y-MAX',"
    "'   WSE  WE-MIN  WE-MAX',4X,'XCORD     YCORD  DEPTH',/,18X,'AVG',20X,'AVG',17X,"
    "'AVG',20X,' AVG',/)";
/// QMX2 line: node, wet/dry code, x-velocity, y-velocity and water surface
/// each as average, minimum and maximum, x and y, average depth.
constexpr std::string_view kHydroListingRow = "(5X,2I5,9F7.2,2F11.2,F8.2)";

/// QMX4 heading: the window's length and its stop.
constexpr std::string_view kTransportListingHeading =
    "('1',/,20X,'AVERAGE OF EACH NODE OVER A',F12.6,' HR CYCLE, WITH LAST HR=',"
    "F12.6,/,5X,/,20X,' ONLY FIRST 3 CONSTITUENTS CAN BE PRINTED',/,'  NODE  ',"
    "'  CON1-AVE-MIN-MAX  ','  CON2-AVE-MIN-MAX  ','  CON3-AVE-MIN-MAX  ',/)";
/// QMX4 line: node, then average, minimum and maximum of the first
/// constituents, at most `kTransportListedConstituents`.
constexpr std::string_view kTransportListingRow = "(1X,I6,1X,3F7.3,3F7.3,3F7.3)";
constexpr int kTransportListedConstituents = 3;

/// QMX10 results: a title, the nodes of the overall maxima and minima of the
/// six degrees of freedom (node and value each, maxima first), the heading
/// with the window's length and stop, then the node lines.
constexpr std::string_view kThreedResultsTitle =
    "('1',/,10X,'RESULTS FROM MERGE-AVERAGE PROGRAM',/)";
constexpr std::string_view kThreedExtremes =
    "(/,2X,' CHECK THESE NODES FOR MAXIMUMS',/,"
    "5X,'    X-VELOCITY    MAX AT NODE=',I10,' WAS=',F15.2,' fps',/,"
    "5X,'    Y-VELOCITY    MAX AT NODE=',I10,' WAS=',F15.2,' fps',/,"
    "5X,'    DEPTH         MAX AT NODE=',I10,' WAS=',F15.2,' ft',/,"
    "5X,'    SALINITY      MAX AT NODE=',I10,' WAS=',F15.2,' ppt',/,"
    "5X,'    TEMPERATURE   MAX AT NODE=',I10,' WAS=',F15.2,' d.C',/,"
    "5X,'    SEDIMENT      MAX AT NODE=',I10,' WAS=',F15.2,' ppt',/,/,"
    "2X,' CHECK THESE NODE FOR MINIMUMS',/,"
    "5X,'    X-VELOCITY    MIN AT NODE=',I10,' WAS=',F15.2,' fps',/,"
    "5X,'    Y-VELOCITY    MIN AT NODE=',I10,' WAS=',F15.2,' fps',/,"
    "5X,'    DEPTH         MIN AT NODE=',I10,' WAS=',F15.2,' ft',/,"
    "5X,'    SALINITY      MAX AT NODE=',I10,' WAS=',F15.2,' ppt',/,"
    "5X,'    TEMPERATURE   MAX AT NODE=',I10,' WAS=',F15.2,' d.C',/,"
    "5X,'    SEDIMENT      MAX AT NODE=',I10,' WAS=',F15.2,' ppt',/)";
constexpr std::string_view kThreedListingHeading =
    "(/,/,10X,'AVERAGE OF EACH NODE OVER A',F12.6,' HR CYCLE, WITH LAST HR=',F12.6,"
    "/,5X,/,20X,' ALL 6 DEGREES OF FREEDOM ARE PRINTED',/,'  NODE  ',"
    "'  VELX-AVE-MIN-MAX   ','  VELY-AVE-MIN-MAX   ','  DEEP-AVE-MIN-MAX   ',"
    "'  SALT-AVE-MIN-MAX   ','  TEMP-AVE-MIN-MAX   ','   SED-AVE-MIN-MAX',/)";
/// QMX10 line: node, then average, minimum and maximum of each degree of freedom.
constexpr std::string_view kThreedListingRow =
    "(1X,I6,1X,3(F6.2,1X),3(F6.2,1X),3(F6.2,1X),3(F6.2,1X),3(F6.2,1X),3(F6.2,1X))";

}  // namespace korvant
