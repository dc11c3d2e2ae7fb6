#!/usr/bin/python3
"""Draws a plan's per-minute CSV: manifest requests and package bandwidth over
time, the release marked.

    plan_plot.py CSV PNG RELEASE_DAY TITLE

Written by plumix-publish plan; run with Debian's python3 and matplotlib.
"""
import csv
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (the backend comes first)


def read_minutes(path):
    days, requests, peak_gbit, mean_gbit = [], [], [], []
    with open(path, newline="") as source:
        for row in csv.DictReader(source):
            days.append(int(row["minute"]) / 1440)
            requests.append(int(row["requests"]))
            peak_gbit.append(float(row["peak_gbit_per_second"]))
            mean_gbit.append(float(row["mean_gbit_per_second"]))
    return days, requests, peak_gbit, mean_gbit


def main():
    if len(sys.argv) != 5:
        sys.exit("usage: plan_plot.py CSV PNG RELEASE_DAY TITLE")
    csv_path, png_path, title = sys.argv[1], sys.argv[2], sys.argv[4]
    release_day = float(sys.argv[3])
    days, requests, peak_gbit, mean_gbit = read_minutes(csv_path)
    figure, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(9, 5.2))
    top.plot(days, requests, linewidth=0.5, color="tab:blue")
    top.set_ylabel("manifest requests\nper minute")
    bottom.plot(days, peak_gbit, linewidth=0.5, color="tab:orange", label="peak second")
    bottom.plot(days, mean_gbit, linewidth=0.5, color="tab:brown", label="minute mean")
    bottom.set_ylabel("package Gbit/s")
    bottom.legend(loc="upper left", fontsize=8)
    bottom.set_xlabel("day of the run (day 0 is a Monday, 00:00 UTC)")
    for axes in (top, bottom):
        axes.grid(True, linewidth=0.3)
        axes.set_ylim(bottom=0)
        if days and release_day <= days[-1]:
            axes.axvline(release_day, color="tab:red", linestyle="--", linewidth=1)
    if days and release_day <= days[-1]:
        top.annotate("release announced", xy=(release_day, 1), xycoords=("data", "axes fraction"),
                     xytext=(4, -12), textcoords="offset points", color="tab:red", fontsize=8)
    if days:
        bottom.set_xlim(0, days[-1] + 1 / 1440)
    figure.suptitle(title, fontsize=10)
    figure.tight_layout()
    figure.savefig(png_path, format="png", dpi=80)


if __name__ == "__main__":
    main()
