#!/bin/sh
# The merge of merge_bay.txt with korvant-merge: the run as it stood at hour
# 18, then its restart from hour 13. The restart's steps replace those from
# hour 13 on, so the merged file is the whole run, as bay.qmx2 holds it.
# Run in the folder of the example files, with the programs on PATH, as
# README.md shows.
set -e
korvant-merge -o bay_merged_cli.qmx2 bay_part1.qmx2 bay_part2.qmx2
