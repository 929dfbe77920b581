#!/usr/bin/env node
// Runs the engine over EPD test suites: one engine process, each position searched from a fresh
// game ("position", "setboard", a time or depth limit, "go"), the answer checked against the
// bm/am moves (SAN, converted to coordinates with chess.js) and, at a fixed depth, the mate
// length against dm. Started by bench/wac.sh, which supplies chess.js and the run directory.
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const path = require('path');
const readline = require('readline');
const { Chess } = require(process.env.CHESSJS || 'chess.js');

// The repository's copy of Win At Chess, found from this script so that any checkout works.
const DEFAULT_SUITE = path.join(__dirname, '..', 'tests', 'data', 'epd', 'wac.epd');

const MATE_BOUND = 29000;       // scores beyond this are mates
// A side mated at ply p scores p - 30001; the reply to a root move is searched at ply 1, so a
// mate with the root move scores 30000 and a mate in n moves 30002 - 2n.
const MATE_IN_ONE = 30000;
const DEPTH_MODE_SECONDS = 86400; // clock for "sd" runs, so that only the depth limits the search

const USAGE = `usage: bench/wac.sh [-t SECONDS | --depth D] [-n COUNT] [--cmd CMD]... [-e ENGINE] [-q] [EPD...]
  -t SECONDS   time per position, sent as "st SECONDS" (default 5)
  --depth D    fixed depth ("sd D") with an unlimited clock; also reports the mates (dm) found
  -n COUNT     only the first COUNT positions of each file
  --cmd CMD    one more command before "go" (repeatable), e.g. --cmd "otim 0"
  --timeout S  give up a position after S seconds and restart the engine
               (default 3 x SECONDS + 30 with -t, none with --depth)
  -e ENGINE    engine binary (default build/vorlak)
  -q           no line per position, only the summary
  EPD          suites (default tests/data/epd/wac.epd of this checkout)`;

function parseArgs(argv) {
  const opt = { seconds: 5, depth: 0, count: Infinity, cmds: [], timeout: -1, quiet: false,
                engine: null, dir: null, files: [] };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) throw new Error(`${a} needs a value`);
      return argv[++i];
    };
    const number = () => {
      const v = Number(value());
      if (!Number.isFinite(v) || v <= 0) throw new Error(`${a} needs a positive number`);
      return v;
    };
    if (a === '-t' || a === '--time') opt.seconds = number();
    else if (a === '-d' || a === '--depth') opt.depth = Math.floor(number());
    else if (a === '-n') opt.count = Math.floor(number());
    else if (a === '--cmd') opt.cmds.push(value());
    else if (a === '--timeout') opt.timeout = number();
    else if (a === '-e' || a === '--engine') opt.engine = value();
    else if (a === '--dir') opt.dir = value();
    else if (a === '-q') opt.quiet = true;
    else if (a === '-h' || a === '--help') { console.log(USAGE); process.exit(0); }
    else if (a.startsWith('-')) throw new Error(`unknown option ${a}`);
    else opt.files.push(a);
  }
  if (!opt.engine || !opt.dir) throw new Error('--engine and --dir are required');
  if (opt.files.length === 0) opt.files.push(DEFAULT_SUITE);
  if (opt.timeout < 0) opt.timeout = opt.depth ? Infinity : 3 * opt.seconds + 30;
  return opt;
}

// Splits the operations part of an EPD line at semicolons outside quoted strings.
function splitOperations(text) {
  const ops = [];
  let current = '', quoted = false;
  for (const ch of text) {
    if (ch === '"') quoted = !quoted;
    if (ch === ';' && !quoted) { ops.push(current); current = ''; } else current += ch;
  }
  ops.push(current);
  return ops.map(s => s.trim()).filter(s => s.length > 0);
}

// One EPD line: the four position fields, optional FEN clocks (some suites carry them), and the
// operations. Suites in the wild end lines with CR or NUL and write checks apart ("Qd1 +").
function parseEpd(rawLine, fileName, lineNumber) {
  const line = rawLine.replace(/[\0\r]/g, '').trim();
  if (line === '' || line.startsWith('#')) return null;
  const m = line.match(/^(\S+)\s+([wb])\s+(\S+)\s+(\S+)(.*)$/);
  if (!m) return { error: `${fileName}:${lineNumber}: not an EPD line` };
  let rest = m[5], halfMoves = '0', fullMoves = '1';
  const clocks = rest.match(/^\s+(\d+)\s+(\d+)(?=\s|;|$)/);
  if (clocks) { halfMoves = clocks[1]; fullMoves = clocks[2]; rest = rest.slice(clocks[0].length); }
  const ops = {};
  for (const op of splitOperations(rest)) {
    const words = op.match(/"[^"]*"|\S+/g).map(w => w.replace(/^"(.*)"$/, '$1'));
    const operands = [];
    for (const w of words.slice(1)) {
      if (/^[+#]+$/.test(w) && operands.length > 0) operands[operands.length - 1] += w;
      else operands.push(w);
    }
    ops[words[0]] = operands;
  }
  if (ops.hmvc) halfMoves = ops.hmvc[0];
  if (ops.fmvn) fullMoves = ops.fmvn[0];
  const fen = `${m[1]} ${m[2]} ${m[3]} ${m[4]} ${halfMoves} ${fullMoves}`;
  const id = ops.id ? ops.id.join(' ') : `${path.basename(fileName)}:${lineNumber}`;
  const entry = { id, fen, bmSan: ops.bm || [], amSan: ops.am || [],
                  dm: ops.dm ? parseInt(ops.dm[0], 10) : 0, bm: [], am: [] };
  try {
    for (const [san, out] of [[entry.bmSan, entry.bm], [entry.amSan, entry.am]]) {
      for (const s of san) {
        const move = new Chess(fen).move(s);
        out.push(move.from + move.to + (move.promotion || ''));
      }
    }
  } catch (e) {
    return { error: `${id}: ${e.message}` };
  }
  if (entry.bm.length === 0 && entry.am.length === 0 && !entry.dm) {
    return { error: `${id}: neither bm, am nor dm` };
  }
  return entry;
}

function isLegal(fen, coordinates) {
  try {
    new Chess(fen).move({ from: coordinates.slice(0, 2), to: coordinates.slice(2, 4),
                          promotion: coordinates[4] });
    return true;
  } catch (e) {
    return false;
  }
}

// Length in moves of a mate the engine announces with this score, 0 if it is no mate for it.
function mateLength(score) {
  return score > MATE_BOUND ? Math.floor((MATE_IN_ONE + 2 - score) / 2) : 0;
}

// The engine process and a line reader with waiting.
class Engine {
  constructor(binary, dir) {
    this.child = spawn(binary, [], { cwd: dir, stdio: ['pipe', 'pipe', 'inherit'] });
    this.lines = [];
    this.waiter = null;
    this.exited = false;
    this.child.on('exit', () => { this.exited = true; this.wake(); });
    this.child.stdin.on('error', () => {});
    readline.createInterface({ input: this.child.stdout }).on('line', l => {
      this.lines.push(l); this.wake();
    });
  }
  wake() { if (this.waiter) { const w = this.waiter; this.waiter = null; w(); } }
  send(text) { if (!this.exited) this.child.stdin.write(text + '\n'); }
  // The next line, or null at the deadline (ms since epoch) or when the engine has ended.
  async next(deadline) {
    for (;;) {
      if (this.lines.length > 0) return this.lines.shift();
      if (this.exited) return null;
      const wait = deadline - Date.now();
      if (wait <= 0) return null;
      await new Promise(resolve => {
        const timer = Number.isFinite(wait) ? setTimeout(resolve, wait) : null;
        this.waiter = () => { if (timer) clearTimeout(timer); resolve(); };
      });
      this.waiter = null;
    }
  }
  kill() { if (!this.exited) this.child.kill('SIGKILL'); }
}

function startEngine(opt) {
  const engine = new Engine(opt.engine, opt.dir);
  // xboard mode: a game end then prints a result instead of ending the process.
  engine.send('xboard');
  return engine;
}

const THINKING = /^(\d+) (-?\d+) (\d+) (\d+) S\b/;
const STATISTICS = /search depth = (\d+), (\d+)\/ (\d+) nodes, score: (-?\d+)/;
const BUDGET = /^Time budget = (\d+) with/;
const FEN_LINE = /^[1-8pnbrqkPNBRQK]+(\/[1-8pnbrqkPNBRQK]+){7} [wb] /;
const SETUP_SECONDS = 60;

async function searchPosition(engine, entry, opt) {
  const word = s => s.replace(/\s+/g, '_');
  const kind = entry.bmSan.length ? 'bm' : entry.amSan.length ? 'am' : 'dm';
  const first = entry.bmSan[0] || entry.amSan[0] || String(entry.dm);
  engine.send(`position ${word(entry.id)} ${kind} ${word(first)}`); // fresh game, no book, no randomness
  engine.send(`setboard ${entry.fen}`);                            // (resets the clocks)
  if (opt.depth) {
    engine.send(`st ${DEPTH_MODE_SECONDS}`);
    engine.send(`sd ${opt.depth}`);
  } else {
    engine.send(`st ${opt.seconds}`);
  }
  for (const c of opt.cmds) engine.send(c);
  const r = { move: null, depth: 0, nodes: 0, score: null, thinking: 0, budget: null, seconds: 0,
              problem: null };
  // Wait for the set-up (a new game clears the hash tables) so the time counts only the search.
  engine.send('getfen');
  const setupDeadline = Date.now() + SETUP_SECONDS * 1000;
  for (;;) {
    const line = await engine.next(setupDeadline);
    if (line === null) {
      r.problem = engine.exited ? 'engine ended' : `no FEN within ${SETUP_SECONDS} s of set-up`;
      return r;
    }
    if (FEN_LINE.test(line)) break;
  }
  engine.send('go');
  const started = Date.now();
  const deadline = started + opt.timeout * 1000;
  for (;;) {
    const line = await engine.next(deadline);
    if (line === null) {
      r.problem = engine.exited ? 'engine ended' : `no answer within ${opt.timeout} s`;
      return r;
    }
    let m;
    if ((m = line.match(THINKING))) {
      r.thinking = parseInt(m[1], 10);
      r.score = parseInt(m[2], 10);
    } else if ((m = line.match(BUDGET))) {
      r.budget = parseInt(m[1], 10) / 100;
    } else if ((m = line.match(/^move (\S+)/))) {
      r.move = m[1];
    } else if (r.move && (m = line.match(STATISTICS))) {
      r.seconds = (Date.now() - started) / 1000;
      r.depth = parseInt(m[1], 10);
      r.nodes = parseInt(m[3], 10);
      r.score = parseInt(m[4], 10);
      return r;
    } else if (line.startsWith('illegal move:') || line.startsWith('Error')) {
      r.problem = `engine said "${line}"`;
    }
  }
}

function judge(entry, r, opt) {
  if (!r.move) return { solved: false, why: r.problem || 'no move' };
  if (!isLegal(entry.fen, r.move)) return { solved: false, why: 'illegal move' };
  let solved = true;
  if (entry.bm.length) solved = entry.bm.includes(r.move);
  if (entry.am.length) solved = solved && !entry.am.includes(r.move);
  const mate = entry.dm ? mateLength(r.score) : 0;
  return { solved, mateFound: entry.dm > 0 && mate > 0 && mate <= entry.dm, mate };
}

async function main() {
  let opt;
  try {
    opt = parseArgs(process.argv.slice(2));
  } catch (e) {
    console.error(`${e.message}\n${USAGE}`);
    process.exit(2);
  }
  const entries = [];
  for (const file of opt.files) {
    const lines = fs.readFileSync(file, 'latin1').split('\n');
    let taken = 0;
    for (let i = 0; i < lines.length && taken < opt.count; i++) {
      const e = parseEpd(lines[i], file, i + 1);
      if (e === null) continue;
      if (e.error) { console.log(`skipped: ${e.error}`); continue; }
      entries.push(e);
      taken++;
    }
  }
  const limit = opt.depth ? `depth ${opt.depth}` : `${opt.seconds} s a position`;
  console.log(`${entries.length} positions at ${limit}; engine ${opt.engine}`);

  let engine = startEngine(opt);
  const failures = [], mateMisses = [];
  let solved = 0, matePositions = 0, matesFound = 0, nodes = 0, seconds = 0, depthSum = 0;
  let deepest = 0, searched = 0, budgetSum = 0, budgets = 0;
  for (const entry of entries) {
    const r = await searchPosition(engine, entry, opt);
    const j = judge(entry, r, opt);
    if (j.solved) solved++;
    else failures.push(`${entry.id} (${entry.bmSan.length ? 'bm ' + entry.bmSan.join(' ') : 'am ' + entry.amSan.join(' ')}` +
                       `${r.move ? ', got ' + r.move : ''}${j.why ? ', ' + j.why : ''})`);
    if (entry.dm) {
      matePositions++;
      if (j.mateFound) matesFound++;
      else mateMisses.push(`${entry.id} (dm ${entry.dm}${j.mate ? ', found mate in ' + j.mate : ''})`);
    }
    if (r.move) {
      searched++;
      nodes += r.nodes; seconds += r.seconds; depthSum += r.depth;
      deepest = Math.max(deepest, r.depth);
    }
    if (r.budget !== null) { budgetSum += r.budget; budgets++; }
    if (!opt.quiet) {
      const verdict = j.solved ? 'ok  ' : 'FAIL';
      const expected = entry.bmSan.length ? `bm ${entry.bmSan.join(' ')}` : `am ${entry.amSan.join(' ')}`;
      console.log(`${entry.id.padEnd(10)} ${verdict} ${String(r.move || '-').padEnd(6)} ` +
                  `${expected.padEnd(16)} depth ${String(r.depth).padStart(2)} ` +
                  `score ${String(r.score === null ? '-' : r.score).padStart(6)} ` +
                  `nodes ${String(r.nodes).padStart(10)} ${r.seconds.toFixed(2)} s` +
                  `${j.why ? '  ' + j.why : ''}`);
    }
    if (r.problem && !r.move) { engine.kill(); engine = startEngine(opt); }
  }
  engine.send('quit');
  setTimeout(() => engine.kill(), 2000).unref();

  console.log(`\nsolved ${solved}/${entries.length} at ${limit}`);
  if (failures.length) console.log(`failures (${failures.length}): ${failures.join(', ')}`);
  if (opt.depth) {
    console.log(`mates found at depth ${opt.depth}: ${matesFound}/${matePositions} (positions with dm)`);
    if (mateMisses.length) console.log(`mates not found (${mateMisses.length}): ${mateMisses.join(', ')}`);
  }
  const nps = seconds > 0 ? Math.round(nodes / seconds) : 0;
  console.log(`nodes ${nodes} in ${seconds.toFixed(1)} s of answers: ${nps} nodes/s; ` +
              `mean ${(searched ? seconds / searched : 0).toFixed(2)} s and depth ` +
              `${(searched ? depthSum / searched : 0).toFixed(1)} a position, deepest ${deepest}`);
  if (budgets && !opt.depth) console.log(`mean time budget ${(budgetSum / budgets).toFixed(2)} s a position`);
  if (!opt.depth && searched && seconds / searched < opt.seconds / 4) {
    console.log(`note: the engine used ${(seconds / searched).toFixed(2)} s of the ${opt.seconds} s a position`);
  }
}

main().catch(e => { console.error(e); process.exit(1); });
