#!/usr/bin/env python3
# Sits between xboard and the engine: logs both directions and lets the test ask the engine
# for its position (getfen) through a control FIFO without xboard seeing the answer.
import os, signal, subprocess, sys, threading, re
# xboard interrupts protocol-1 engines with SIGINT when it changes modes; the engine
# handles that itself, the relay must just survive it.
signal.signal(signal.SIGINT, signal.SIG_IGN)
engine, ctl, log = sys.argv[1], sys.argv[2], sys.argv[3]
p = subprocess.Popen([engine], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)
lock = threading.Lock()
pending = [0]
logf = open(log, "a", buffering=1)
def send(line, tag):
    with lock:
        logf.write(tag + line)
        p.stdin.write(line); p.stdin.flush()
def from_gui():
    for line in sys.stdin:
        send(line, "> ")
    p.stdin.close()
def from_ctl():
    while True:
        with open(ctl) as f:
            for line in f:
                with lock: pending[0] += 1
                send(line, "ctl> ")
threading.Thread(target=from_gui, daemon=True).start()
threading.Thread(target=from_ctl, daemon=True).start()
fen = re.compile(r'^[1-8pnbrqkPNBRQK]+(/[1-8pnbrqkPNBRQK]+){7} [wb] ')
for line in p.stdout:
    with lock:
        if pending[0] and fen.match(line):
            pending[0] -= 1
            logf.write("fen< " + line)
            continue
        logf.write("< " + line)
    sys.stdout.write(line); sys.stdout.flush()
