#!/usr/bin/env python3
"""Classification throughput of `qgctl classify` beside bogofilter and
SpamAssassin on the same corpus, in one run, single-threaded each.

- quillgate: one `qgctl classify --box 1` process over every corpus file, in
  a temporary home with the first built-in profile. Two figures: the profile
  as shipped (most messages are decided by an early rule), and the same
  profile with every rule put in score mode, so that every rule (lists,
  expressions over header and body, blocklist caches) runs for every message.
- bogofilter: trained with `-s`/`-n` on every second spam and ham message of
  the corpus (training is not timed), then one `bogofilter -B` process over
  every file.
- SpamAssassin: `spamassassin --local --mbox` (one process, local tests
  only) over a sample of the corpus and over its first half; the rate beyond
  its start-up is the second half's messages over the difference of the two
  times (the ratio uses it), and the whole run's rate is shown beside it.

The best of --rounds runs is taken for each. Prints messages per second and
the ratios. Not run by CI; needs the bogofilter and spamassassin packages.

Usage: classify_compare.py --qgctl PATH --corpus DIR [--sample N] [--rounds N]
"""
import argparse
import csv
import os
import pwd
import subprocess
import sys
import tempfile
import time


def corpus_files(corpus):
    """The non-empty .eml files and their labels from MANIFEST.tsv."""
    labels = {}
    manifest = os.path.join(corpus, "MANIFEST.tsv")
    if os.path.exists(manifest):
        with open(manifest, newline="") as f:
            for row in csv.DictReader(f, delimiter="\t"):
                labels[row["file"]] = row["label"]
    names = sorted(n for n in os.listdir(corpus) if n.endswith(".eml"))
    files = [os.path.join(corpus, n) for n in names if os.path.getsize(os.path.join(corpus, n))]
    return files, [labels.get(os.path.basename(f), "unknown") for f in files]


def best_time(rounds, command, **kwargs):
    best = None
    for _ in range(rounds):
        start = time.perf_counter()
        subprocess.run(command, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       **kwargs)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best


def run(command, **kwargs):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, **kwargs)


def quillgate_home(qgctl, home, score_mode):
    q = [qgctl, "--home", home]
    run(q + ["box", "add", "me@example.net", "--pop3", "pop.example.net", "--user", "me",
             "--password", "secret", "--profile", "Standart 1"])
    for text, field, black in (("free", "Subject", True), ("viagra", "Body", True),
                               ("unsubscribe", "Body", True), ("x-mailer: outlook", "All header",
                                                               True),
                               ("meeting", "Body", False), ("re:", "Subject", False)):
        run(q + ["list", "add", "expressions", text, "--field", field] + (["--black"] if black
                                                                           else []))
    run(q + ["list", "add", "addresses", "friend@example.org"])
    if score_mode:
        profile = os.path.join(home, "f_0001.log")
        for rule in range(13):  # the rules of the first built-in profile, numbered 0-12
            run(q + ["record", "set", profile, str(1000 + 100 * rule), "byte", "3"])


def write_mbox(path, files):
    with open(path, "wb") as out:
        for name in files:
            with open(name, "rb") as message:
                data = message.read().replace(b"\r\n", b"\n")
            out.write(b"From sample@example.org Tue Dec  5 18:24:11 2006\n")
            out.write(data if data.endswith(b"\n") else data + b"\n")
            out.write(b"\n")
    return path


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--qgctl", required=True)
    parser.add_argument("--corpus", required=True)
    parser.add_argument("--sample", type=int, default=60, help="messages for SpamAssassin")
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    files, labels = corpus_files(args.corpus)
    size = sum(os.path.getsize(f) for f in files)

    with tempfile.TemporaryDirectory() as work:
        figures = {}
        for name, score_mode in (("quillgate (profile as shipped)", False),
                                 ("quillgate (every rule runs)", True)):
            home = os.path.join(work, "home-score" if score_mode else "home")
            quillgate_home(args.qgctl, home, score_mode)
            elapsed = best_time(args.rounds,
                                [args.qgctl, "--home", home, "classify", "--box", "1"] + files)
            figures[name] = len(files) / elapsed

        wordlists = os.path.join(work, "bogofilter")
        os.mkdir(wordlists)
        for k, (path, label) in enumerate(zip(files, labels)):
            if k % 2 == 0 and label in ("spam", "ham"):
                with open(path, "rb") as message:
                    run(["bogofilter", "-d", wordlists, "-s" if label == "spam" else "-n"],
                        stdin=message)
        elapsed = best_time(args.rounds, ["bogofilter", "-d", wordlists, "-B"] + files)
        figures["bogofilter -B"] = len(files) / elapsed

        step = max(1, len(files) // args.sample)
        sample = files[::step][:args.sample]
        half = sample[:len(sample) // 2]
        # Its own home, so that SpamAssassin's user files stay in the temporary
        # folder; it still makes an empty state folder in the account's home,
        # which goes again when it was not there before.
        environment = dict(os.environ, HOME=work)
        state = os.path.join(pwd.getpwuid(os.getuid()).pw_dir, ".spamassassin")
        state_was_there = os.path.exists(state)
        sa_times = []
        for part in (half, sample):
            mbox = write_mbox(os.path.join(work, "sample%d.mbox" % len(part)), part)
            sa_times.append(best_time(1, ["spamassassin", "--local", "--mbox", mbox],
                                      env=environment))
        if not state_was_there and os.path.isdir(state) and not os.listdir(state):
            os.rmdir(state)
        figures["spamassassin --local (whole run)"] = len(sample) / sa_times[1]
        # The rate beyond its start-up (loading and compiling its rules): the
        # second half of the sample costs the difference of the two runs.
        figures["spamassassin --local"] = (len(sample) - len(half)) / max(
            sa_times[1] - sa_times[0], 1e-9)

    print("corpus: %d messages, %.1f MB; SpamAssassin sample: %d messages"
          % (len(files), size / 1e6, len(sample)))
    for name, rate in figures.items():
        print("%-32s %10.0f messages/s" % (name, rate))
    ours = figures["quillgate (every rule runs)"]
    for name in ("bogofilter -B", "spamassassin --local"):
        print("ratio quillgate (every rule runs) / %s: %.1f x" % (name, ours / figures[name]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
