#!/usr/bin/env python3
"""Live latency of `morsetool decode`: raw samples are written into its standard input at
the pace of real time, as a sound card would deliver them, and the time each decoded
character comes out is compared with the end of that character's last element.

    bench/morsetool/live-latency.py BUILD_DIR [TEXT] [WPM] [SYNTH OPTION...]

The options after WPM go to `morsetool synth` (say --phase-restart, for a tone read on the
phase of each mark). Prints each character's delay and their median and largest. It takes as
long as the recording (about 15 s for the default text).
"""
import os
import subprocess
import sys
import tempfile
import threading
import time
import wave

CODES = {
    'A': '.-', 'B': '-...', 'C': '-.-.', 'D': '-..', 'E': '.', 'F': '..-.', 'G': '--.',
    'H': '....', 'I': '..', 'J': '.---', 'K': '-.-', 'L': '.-..', 'M': '--', 'N': '-.',
    'O': '---', 'P': '.--.', 'Q': '--.-', 'R': '.-.', 'S': '...', 'T': '-', 'U': '..-',
    'V': '...-', 'W': '.--', 'X': '-..-', 'Y': '-.--', 'Z': '--..', '0': '-----',
    '1': '.----', '2': '..---', '3': '...--', '4': '....-', '5': '.....', '6': '-....',
    '7': '--...', '8': '---..', '9': '----.',
}
LEAD_IN = 0.5  # the synthesizer's silence before the first element


def character_ends(text, unit):
    """(character, end of its last element in seconds) in sending order."""
    ends, t = [], LEAD_IN
    for w, word in enumerate(text.split()):
        if w:
            t += 7 * unit
        for c, char in enumerate(word):
            if c:
                t += 3 * unit
            for e, element in enumerate(CODES[char]):
                if e:
                    t += unit
                t += 3 * unit if element == '-' else unit
            ends.append((char, t))
    return ends


def main():
    build = sys.argv[1]
    text = sys.argv[2] if len(sys.argv) > 2 else 'CQ CQ DE K1ABC K1ABC K'
    wpm = float(sys.argv[3]) if len(sys.argv) > 3 else 20.0
    synth_options = sys.argv[4:]
    tool = os.path.join(build, 'bin', 'morsetool')
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, 'live.wav')
        subprocess.run([tool, 'synth', '--wpm', str(wpm), *synth_options, '-o', path, text],
                       check=True, stderr=subprocess.DEVNULL)
        with wave.open(path) as recording:
            rate = recording.getframerate()
            samples = recording.readframes(recording.getnframes())
    decoder = subprocess.Popen([tool, 'decode', '--quiet', '--rate', str(rate), '-'],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, bufsize=0)
    arrivals = []

    def read_output():
        while True:
            byte = decoder.stdout.read(1)
            if not byte:
                return
            if byte.strip():
                arrivals.append((byte.decode(), time.monotonic()))

    reader = threading.Thread(target=read_output)
    reader.start()
    block = rate // 50  # 20 ms, as a sound card hands them on
    start = time.monotonic()
    for offset in range(0, len(samples), 2 * block):
        due = start + offset / 2 / rate
        time.sleep(max(0.0, due - time.monotonic()))
        decoder.stdin.write(samples[offset:offset + 2 * block])
    decoder.stdin.close()
    reader.join()
    decoder.wait()

    expected = character_ends(text, 1.2 / wpm)
    delays = []
    for (char, end), (got, when) in zip(expected, arrivals):
        delay = when - start - end
        delays.append(delay)
        print(f'{char} {got} end {end:6.2f} s  out after {delay * 1000:7.0f} ms')
    delays.sort()
    if delays:
        print(f'{len(delays)} characters: median {delays[len(delays) // 2] * 1000:.0f} ms, '
              f'largest {delays[-1] * 1000:.0f} ms')


if __name__ == '__main__':
    main()
