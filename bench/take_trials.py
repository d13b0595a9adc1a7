#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Random two-take trials of the decoder: faults of trust and lost loads.

Each seed makes a tape of 3 to 6 binary loads (20 to 400 bytes, right checksums), records it
twice with the converter and damages each take on its own: a lead-in of hiss, a speed off by
up to 2 %, hiss at 14 to 30 dB SNR, up to two dropouts. In about half the trials the second
take lacks a load (skipped, or recorded from another copy of the tape); in about half one
load's data is mostly replaced by loud hiss in both takes. Both takes are decoded together
and the image is held against the tape:

  WRONG-OK, WRONG-REPAIRED  a load trusted with characters no load of the tape has
  DUPLICATE                 a load of the tape trusted twice
  LOST-EXIT0                exit status 0 although a load of the tape is not in the image
  LOST                      fewer BAD loads reported than loads of the tape missing
  IMAGE-COUNT               the image and the report disagree on the loads with characters

With --more, the first take's tape holds a load saved twice in a row in a quarter of the
trials, a third take joins in about half, and in two thirds the second take began late or
stopped early (somewhere in the first or last 40 % of the tape).

One JSON line per seed, then a summary. Usage: take_trials.py FIRST [END] [--keep] [--more];
BUILD=dir selects the programs (default: build/ beside this script). Work files go to a
temporary folder, kept for trials with a fault (or all, with --keep). Standard library only;
the same seed always makes the same recordings.
"""

import array
import json
import math
import os
import random
import subprocess
import sys
import tempfile
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_tape  # noqa: E402

BUILD = os.environ.get('BUILD', os.path.join(HERE, '..', 'build'))


def tape_bytes(loads):
    body = b"".join(make_tape.load_element(number, load['data'], load['length'], load['header'],
                                           0.25, load['gap'])
                    for number, load in enumerate(loads, 1))
    return make_tape.tape_image(body, len(loads))


def image_loads(blob):
    """The data bytes of every load of a binary tape image, in order."""
    out = []
    at = 0
    while (at := blob.find(b"<DATA>", at)) >= 0:
        length = blob[at + 6] | (blob[at + 7] << 8)
        out.append(bytes(blob[at + 8:at + 8 + length]))
        at += 8 + length
    return out


def read_wav(path):
    with wave.open(path) as w:
        samples = array.array('h', w.readframes(w.getnframes()))
    return [x / 32768.0 for x in samples]


def write_wav(path, rate, samples):
    data = array.array('h', [max(-32768, min(32767, round(x * 32767))) for x in samples])
    with wave.open(path, 'wb') as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(data.tobytes())


def decode(paths, out):
    for stale in (out + '.bin', out + '.json'):
        if os.path.exists(stale):
            os.remove(stale)
    run = subprocess.run([os.path.join(BUILD, 'kelvanto-tape'), 'decode', *paths, '-o',
                          out + '.bin', '--json', out + '.json'], capture_output=True)
    return run.returncode


def damage(rng, rate, samples, unreadable):
    for start, end in unreadable:
        for i in range(int(start * rate), min(len(samples), int(end * rate))):
            samples[i] = rng.uniform(-0.9, 0.9)
    for _ in range(rng.choice([0, 0, 1, 2])):
        at = rng.uniform(0, len(samples) / rate)
        seconds = rng.choice([3, 8, 20, 40, 80]) / 1000
        for i in range(int(at * rate), min(len(samples), int((at + seconds) * rate))):
            samples[i] = 0.0
    factor = rng.uniform(0.98, 1.02)
    moved = []
    for k in range(int(len(samples) / factor)):
        x = k * factor
        i = int(x)
        t = x - i
        moved.append(samples[i] * (1 - t) + (samples[i + 1] if i + 1 < len(samples) else 0) * t)
    part = moved[:200000]
    power = sum(x * x for x in part) / max(1, len(part))
    sd = math.sqrt(power / 10 ** (rng.uniform(14, 30) / 10))
    lead = [rng.gauss(0, sd) for _ in range(int(rng.uniform(0, 1.5) * rate))]
    return lead + [x + rng.gauss(0, sd) for x in moved]


def trust_faults(expected, written, got, verdicts, status, faults, unread_is_said=False):
    """Adds the faults of trust of one decode to faults and returns the loads of the tape
    missing from it: written holds the verdicts of the loads with characters, got their data
    as the image holds them, expected the tape's. With unread_is_said, exit status 1 (nothing
    could be read) tells of every load missing."""
    exact = set()
    for verdict, data in zip(written, got):
        if verdict == 'BAD':
            continue
        places = [i for i, e in enumerate(expected) if e == data]
        if not places:
            faults.append('WRONG-' + verdict)
        elif all(i in exact for i in places):
            faults.append('DUPLICATE')
        else:
            exact.add(next(i for i in places if i not in exact))
    missing = [i for i in range(len(expected)) if i not in exact]
    if status == 0 and missing:
        faults.append('LOST-EXIT0')
    elif not (unread_is_said and status == 1) and len(missing) > verdicts.count('BAD'):
        faults.append('LOST')
    return missing


def trial(seed, folder, more):
    rng = random.Random(seed)
    # Draws of --more come from a generator of their own, so that the trials without it
    # stay as they were.
    extra = random.Random(seed * 7919 + 1)
    rate = rng.choice([22050, 44100])
    loads = []
    for _ in range(rng.randint(3, 6)):
        length = rng.randint(20, 400)
        data = bytearray(rng.getrandbits(8) for _ in range(length + (length & 1)))
        make_tape.fix_checksum(data, length)
        loads.append({'data': bytes(data), 'length': length,
                      'header': rng.choice([0.3, 0.6, 1.0, 1.5]),
                      'gap': rng.choice([0.3, 0.6, 1.0, 2.0])})
    kind = []
    takes = [list(loads), list(loads)]
    if rng.random() < 0.5:
        lacked = rng.randrange(1, len(loads))
        del takes[1][lacked]
        kind.append('lacks%d' % lacked)
    garbled = None
    if rng.random() < 0.5:
        garbled = rng.randrange(len(loads))
        kind.append('unreadable%d' % garbled)
    cut = None
    if more:
        again = random.Random(seed * 7919 + 2)
        if again.random() < 0.25:
            # The first take's tape holds a load saved twice in a row (the same bytes).
            saved = again.randrange(len(loads))
            takes[0].insert(takes[0].index(loads[saved]) + 1, loads[saved])
            kind.append('resaved%d' % saved)
        if extra.random() < 0.5:
            takes.append(list(loads))
            kind.append('third')
        cut = extra.choice([None, 'late', 'early'])
        if cut:
            kind.append(cut)
    paths = []
    for name, take in zip('abc', takes):
        base = os.path.join(folder, 'clean_' + name)
        with open(base + '.bin', 'wb') as out:
            out.write(tape_bytes(take))
        subprocess.run([os.path.join(BUILD, 'kelvanto'), '-k%d' % rate, '-b16', '-c1', '-v0',
                        '-w', base, base + '.bin'], check=True, stdout=subprocess.DEVNULL)
        unreadable = []
        if garbled is not None and loads[garbled] in take:
            decode([base + '.wav'], base)
            with open(base + '.json') as report:
                clean = json.load(report)['loads'][take.index(loads[garbled])]
            start = clean['startSeconds'] + clean['headerSeconds'] + 0.027
            end = start + 0.7 * clean['characters'] * 10 * 14 / 22050
            unreadable.append((start, end))
        samples = damage(rng if name != 'c' else extra, rate, read_wav(base + '.wav'),
                         unreadable)
        # The second take began late or stopped early: somewhere in the first or last 40 %.
        if name == 'b' and cut == 'late':
            samples = samples[int(extra.uniform(0.05, 0.4) * len(samples)):]
        elif name == 'b' and cut == 'early':
            samples = samples[:int(extra.uniform(0.6, 0.95) * len(samples))]
        paths.append(os.path.join(folder, name + '.wav'))
        write_wav(paths[-1], rate, samples)
    out = os.path.join(folder, 'decoded')
    status = decode(paths, out)
    faults = []
    try:
        with open(out + '.json') as report:
            verdicts = [l['verdict'] for l in json.load(report)['loads']]
            report.seek(0)
            written = [l['verdict'] for l in json.load(report)['loads'] if l['characters'] > 0]
        with open(out + '.bin', 'rb') as image:
            got = image_loads(image.read())
    except (OSError, ValueError) as error:
        faults.append('NO-REPORT')
        verdicts, written, got = [], [], []
        print(error, file=sys.stderr)
    if len(written) != len(got):
        faults.append('IMAGE-COUNT')
    # The first take holds every load of the tape (a load saved twice, twice).
    expected = [load['data'][:load['length']] for load in takes[0]]
    missing = trust_faults(expected, written, got, verdicts, status, faults)
    return {'seed': seed, 'rate': rate, 'kind': kind, 'status': status, 'verdicts': verdicts,
            'missing': missing, 'faults': faults}


def run_seeds(prefix, args, one):
    """Runs one(seed, folder) for the seeds FIRST [END] of args, printing each result; the
    work folder of a trial without a fault is removed unless --keep was given."""
    first = int(args[0])
    end = int(args[1]) if len(args) > 1 else first + 1
    root = tempfile.mkdtemp(prefix=prefix)
    results = []
    for seed in range(first, end):
        folder = os.path.join(root, str(seed))
        os.makedirs(folder)
        result = one(seed, folder)
        results.append(result)
        print(json.dumps(result), flush=True)
        if not result['faults'] and '--keep' not in sys.argv:
            subprocess.run(['rm', '-rf', folder])
    return root, results


def main():
    args = [a for a in sys.argv[1:] if a not in ('--keep', '--more')]
    if not args:
        print(__doc__.splitlines()[0] + '\nusage: take_trials.py FIRST [END] [--keep] [--more]')
        return 2
    root, results = run_seeds('take_trials.', args,
                              lambda seed, folder: trial(seed, folder, '--more' in sys.argv))
    faulty = [r for r in results if r['faults']]
    print('%d trials: %d with a fault, %d exit status 0, %d loads exact, %d with every load '
          'exact but exit status 2; work files in %s' %
          (len(results), len(faulty), sum(r['status'] == 0 for r in results),
           sum(len(r['verdicts']) - r['verdicts'].count('BAD') for r in results),
           sum(1 for r in results if not r['missing'] and r['status'] != 0), root))
    return 1 if faulty else 0


if __name__ == '__main__':
    sys.exit(main())
