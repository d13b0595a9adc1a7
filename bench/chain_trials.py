#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Random playback chains on one take: faults of trust over the damage real recordings carry.

Each seed makes a tape of 1 to 4 binary loads (half of them of odd length, so that they end
with a filler that the checksum leaves out, of any value), records it with the converter at
22050 or 44100 Hz, and passes it through a random chain of sox and ffmpeg: a speed change,
low-pass, high-pass, an equaliser peak, an all-pass, clipping, a level far down, a DC
offset, hiss at 3 to 25 dB SNR, an MP3, Ogg or Opus round trip, resampling to 8000 to 96000
Hz. The recording is decoded and its image held against the tape, every stored byte of each
load (the filler's half in the byte after an odd load's last included):

  WRONG-OK, WRONG-REPAIRED  a load trusted with bytes no load of the tape has
  DUPLICATE                 a load of the tape trusted twice
  LOST-EXIT0                exit status 0 although a load of the tape is not in the image
  LOST                      fewer BAD loads reported than loads of the tape missing
  IMAGE-COUNT               the image and the report disagree on the loads with characters

With --harsh every load is of odd length and every chain near the edge of what reads: a
speed change, hiss at 3 to 20 dB in most, an MP3 of 32 to 64 kbit/s in half, resampling to
8000 to 16000 Hz in four of ten (where loads read OK with a filler read wrong were found).

One JSON line per seed, then a summary; exit status 1 if any trial had a fault, whose work
files are kept. Usage: chain_trials.py FIRST [END] [--keep] [--harsh]; needs sox and ffmpeg (with
libmp3lame, libvorbis and libopus), BUILD=dir selects the programs (default: build/ beside
this script). Standard library only; the same seed always makes the same recording.
"""

import json
import os
import random
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_tape  # noqa: E402
from take_trials import run_seeds, tape_bytes, trust_faults  # noqa: E402

BUILD = os.environ.get('BUILD', os.path.join(HERE, '..', 'build'))


def run(command):
    return subprocess.run(command, capture_output=True)


def stored_loads(blob):
    """Every stored data byte of each load of a binary tape image: an odd length keeps one more."""
    out = []
    at = 0
    while (at := blob.find(b"<DATA>", at)) >= 0:
        length = blob[at + 6] | (blob[at + 7] << 8)
        out.append(bytes(blob[at + 8:at + 8 + length + (length & 1)]))
        at += 8 + length
    return out


def rms(path):
    for line in run(['sox', '-R', path, '-n', 'stat']).stderr.decode().splitlines():
        if line.startswith('RMS     amplitude'):
            return float(line.split(':')[1])
    return 0.1


def make_loads(rng, harsh):
    loads = []
    for _ in range(rng.randint(3, 5) if harsh else rng.randint(1, 4)):
        length = rng.choice([rng.randint(20, 300), rng.randint(300, 3000)])
        if harsh:
            length = rng.randrange(21, 402, 2)
        data = bytearray(rng.getrandbits(8) for _ in range(length + (length & 1)))
        make_tape.fix_checksum(data, length)
        if length & 1:
            # The filler's bits: the even bits of the last pair's two bytes, which the
            # checksum leaves alone. Often all 1s, as a machine sends it.
            half = (length + 1) // 2
            bits = 0x55 if rng.random() < 0.3 else rng.getrandbits(8) & 0x55
            for at in (half - 1, length):
                data[at] = (data[at] & 0xAA) | bits
                bits = rng.getrandbits(8) & 0x55
        loads.append({'data': bytes(data), 'length': length,
                      'header': rng.choice([0.3, 1.0, 2.0]), 'gap': rng.choice([0.3, 1.0, 2.0])})
    return loads


def harsh_chain(rng, source, folder):
    """A speed change, often a low-pass, hiss, an MP3 and resampling to a low rate."""
    current, steps = source, []
    effects = ['speed', '%.3f' % rng.uniform(0.85, 1.2)]
    if rng.random() < 0.5:
        effects += ['lowpass', '-2', str(rng.randint(1500, 5000))]
    if rng.random() < 0.3:
        effects += ['allpass', str(rng.randint(500, 4000)), '0.7q']
    current = with_effects(current, effects, folder, steps)
    if rng.random() < 0.7:
        current = add_hiss(current, rng.uniform(3, 20), folder, steps)
    if rng.random() < 0.5:
        current = coded(current, 'mp3', ['-c:a', 'libmp3lame', '-b:a',
                                         '%dk' % rng.choice([32, 40, 48, 64])], folder, steps)
    if rng.random() < 0.4:
        current = resampled(current, rng.choice([8000, 11025, 16000]), folder, steps)
    return current, steps


def with_effects(current, effects, folder, steps):
    following = os.path.join(folder, 'effects.wav')
    run(['sox', '-R', current, following] + effects)
    steps.append(' '.join(effects))
    return following


def add_hiss(current, snr, folder, steps):
    info = lambda flag: run(['soxi', flag, current]).stdout.decode().strip()
    noise = os.path.join(folder, 'noise.wav')
    # sox's white noise is uniform: its RMS is its amplitude over the root of 3.
    run(['sox', '-R', '-n', '-r', info('-r'), '-c', info('-c'), noise, 'synth', info('-D'),
         'whitenoise', 'vol', '%.6f' % (rms(current) / 10 ** (snr / 20) * 3 ** 0.5)])
    following = os.path.join(folder, 'hiss.wav')
    run(['sox', '-R', '-m', current, noise, following])
    steps.append('hiss %.1f dB' % snr)
    return following


def coded(current, extension, options, folder, steps):
    encoded = os.path.join(folder, 'coded.' + extension)
    decoded = os.path.join(folder, 'coded.wav')
    run(['ffmpeg', '-v', 'quiet', '-y', '-i', current] + options + [encoded])
    run(['ffmpeg', '-v', 'quiet', '-y', '-i', encoded, decoded])
    steps.append('%s %s' % (extension, options[-1]))
    return decoded


def resampled(current, rate, folder, steps):
    following = os.path.join(folder, 'rate.wav')
    run(['sox', '-R', current, '-r', str(rate), following])
    steps.append('rate %d' % rate)
    return following


def chain(rng, source, folder):
    """Passes the recording through a random chain; returns the last file and the steps."""
    current, steps = source, []
    effects = []
    if rng.random() < 0.6:
        effects += ['speed', '%.3f' % rng.uniform(0.85, 1.2)]
    if rng.random() < 0.5:
        effects += ['lowpass', rng.choice(['-1', '-2']), str(rng.randint(1500, 5000))]
    if rng.random() < 0.4:
        effects += ['highpass', str(rng.randint(80, 500))]
    if rng.random() < 0.3:
        effects += ['equalizer', str(rng.randint(800, 4000)), '1q',
                    '%+.1f' % rng.uniform(-6, 6)]
    if rng.random() < 0.2:
        effects += ['allpass', str(rng.randint(500, 4000)), '0.7q']
    if rng.random() < 0.15:
        effects += ['gain', '-n', '6']  # clipped
    if rng.random() < 0.3:
        effects += ['gain', '-n', '-%d' % rng.randint(0, 40)]
    if rng.random() < 0.1:
        effects += ['dcshift', '%.2f' % rng.uniform(-0.05, 0.05)]
    if effects:
        current = with_effects(current, effects, folder, steps)
    if rng.random() < 0.5:
        current = add_hiss(current, rng.uniform(3, 25), folder, steps)
    if rng.random() < 0.3:
        extension, options = rng.choice([
            ('mp3', ['-c:a', 'libmp3lame', '-b:a', '%dk' % rng.choice([48, 64, 96, 128])]),
            ('ogg', ['-c:a', 'libvorbis', '-q:a', str(rng.choice([0, 1, 3]))]),
            ('opus', ['-c:a', 'libopus', '-b:a', '%dk' % rng.choice([24, 32, 48, 64])])])
        current = coded(current, extension, options, folder, steps)
    if rng.random() < 0.25:
        current = resampled(current, rng.choice([8000, 11025, 16000, 32000, 48000, 96000]),
                            folder, steps)
    return current, steps


def trial(seed, folder, harsh):
    rng = random.Random(seed)
    rate = rng.choice([22050, 44100])
    loads = make_loads(rng, harsh)
    base = os.path.join(folder, 'clean')
    with open(base + '.bin', 'wb') as out:
        out.write(tape_bytes(loads))
    channels = rng.choice([1, 2])
    subprocess.run([os.path.join(BUILD, 'kelvanto'), '-k%d' % rate, '-b16', '-c%d' % channels,
                    '-v0', '-w', base, base + '.bin'], check=True, stdout=subprocess.DEVNULL)
    recording, steps = (harsh_chain if harsh else chain)(rng, base + '.wav', folder)
    out = os.path.join(folder, 'decoded')
    status = run([os.path.join(BUILD, 'kelvanto-tape'), 'decode', recording, '-o', out + '.bin',
                  '--json', out + '.json']).returncode
    expected = [load['data'][:load['length'] + (load['length'] & 1)] for load in loads]
    faults = []
    verdicts, written, got = [], [], []
    if os.path.exists(out + '.json'):
        with open(out + '.json') as report:
            reported = json.load(report)['loads']
        verdicts = [load['verdict'] for load in reported]
        written = [load['verdict'] for load in reported if load['characters'] > 0]
    if os.path.exists(out + '.bin'):
        with open(out + '.bin', 'rb') as image:
            got = stored_loads(image.read())
    if len(written) != len(got):
        faults.append('IMAGE-COUNT')
    missing = trust_faults(expected, written, got, verdicts, status, faults, unread_is_said=True)
    return {'seed': seed, 'rate': rate, 'channels': channels, 'steps': steps, 'status': status,
            'verdicts': verdicts, 'missing': missing, 'faults': faults}


def main():
    args = [a for a in sys.argv[1:] if a not in ('--keep', '--harsh')]
    if not args:
        print(__doc__.splitlines()[0] + '\nusage: chain_trials.py FIRST [END] [--keep] [--harsh]')
        return 2
    for tool in ('sox', 'soxi', 'ffmpeg'):
        if not shutil.which(tool):
            print('chain_trials.py needs %s' % tool, file=sys.stderr)
            return 2
    root, results = run_seeds('chain_trials.', args,
                              lambda seed, folder: trial(seed, folder, '--harsh' in sys.argv))
    faulty = [r for r in results if r['faults']]
    print('%d trials: %d with a fault, %d exit status 0, %d exit status 2, %d loads trusted; '
          'work files in %s' %
          (len(results), len(faulty), sum(r['status'] == 0 for r in results),
           sum(r['status'] == 2 for r in results),
           sum(len(r['verdicts']) - r['verdicts'].count('BAD') for r in results), root))
    return 1 if faulty else 0


if __name__ == '__main__':
    sys.exit(main())
