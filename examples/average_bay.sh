#!/bin/sh
# The averaging of average_bay.txt with korvant-average: the last 26 hourly
# steps of bay.qmx2, summed in 32 bits as the dialogue sums and with the
# mesh for each node's x and y, so the averaged file is byte for byte the
# dialogue's bay_avg.qmx2 and bay_avg_table.txt holds the table of its
# summary file; bay_avg.csv holds the same columns for a spreadsheet.
# Run in the folder of the example files, with the programs on PATH, as
# README.md shows.
set -e
korvant-average bay.qmx2 -o bay_avg_cli.qmx2 --float32-sums --geometry bay.velto \
  --table bay_avg_table.txt --csv bay_avg.csv
