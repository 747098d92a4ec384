#!/bin/sh
# The averaging of average_bay.txt with korvant-average: the last 26 hourly
# steps of bay.qmx2, summed in 32 bits as the dialogue sums, so the averaged
# file is byte for byte the dialogue's bay_avg.qmx2; the per-node table goes
# to bay_avg_table.txt in the dialogue's layout and to bay_avg.csv.
# Run in the folder of the example files, with the programs on PATH
# (in build/: PATH=$PWD:$PATH sh ../examples/average_bay.sh).
set -e
korvant-average bay.qmx2 -o bay_avg_cli.qmx2 --float32-sums --table bay_avg_table.txt --csv bay_avg.csv
