// The page: opening songs (drop, pick, bundled examples), the transport, the
// channel table, the piano roll and the keyboard shortcuts.
import { Player, loadLibrary, missingFeature } from './player.js';
import { KeyMap, controlOwnsKey } from './keys.js';
import { formatDb, formatTime, noteName } from './format.js';
import { PianoRoll, CHANNEL_COLOURS } from './roll.js';

const base = new URL('../', import.meta.url);
const $ = (id) => document.getElementById(id);

const ui = {
  file: $('file'),
  examples: $('examples'),
  now: $('now'),
  message: $('message'),
  play: $('play'),
  seek: $('seek'),
  time: $('time'),
  volume: $('volume'),
  volumeOut: $('volume-out'),
  loops: $('loops'),
  fade: $('fade'),
  channels: $('channels').tBodies[0],
  roll: $('roll'),
  drop: $('drop'),
  hint: $('key-hint'),
};

function showError(text) {
  ui.message.textContent = text;
  ui.message.hidden = false;
}

function clearError() {
  ui.message.hidden = true;
  ui.message.textContent = '';
}

// One row per channel: number, note, instrument, volume, level, mute, solo.
const rows = [];
function buildChannelRows(player) {
  for (let c = 0; c < 9; ++c) {
    const tr = document.createElement('tr');
    tr.innerHTML = `<th scope="row"><span class="swatch"></span>${c}</th><td class="note"></td>
      <td class="instrument"></td><td class="volume"></td>
      <td><meter min="-48" max="0" value="-48" aria-label="Level of channel ${c} in dB"></meter></td>
      <td><input type="checkbox" aria-label="Mute channel ${c}" aria-keyshortcuts="${c}"></td>
      <td><button type="button" aria-pressed="false" aria-label="Solo channel ${c}"
        aria-keyshortcuts="s ${c}">Solo</button></td>`;
    tr.querySelector('.swatch').style.background = CHANNEL_COLOURS[c];
    const mute = tr.querySelector('input');
    mute.addEventListener('change', () => player.toggleMute(c));
    tr.querySelector('button').addEventListener('click', () => player.solo(c));
    ui.channels.appendChild(tr);
    rows.push({
      tr,
      note: tr.querySelector('.note'),
      instrument: tr.querySelector('.instrument'),
      volume: tr.querySelector('.volume'),
      meter: tr.querySelector('meter'),
      mute,
      solo: tr.querySelector('button'),
    });
  }
}

function showChannels(channels) {
  channels.forEach((ch, c) => {
    const r = rows[c];
    const note = ch.keyOn ? noteName(ch.frequency) : '';
    if (r.note.textContent !== note) r.note.textContent = note;
    r.instrument.textContent = String(ch.instrument);
    r.volume.textContent = String(ch.volume);
    r.meter.value = ch.level > 0 ? Math.max(-48, 20 * Math.log10(ch.level / 32767)) : -48;
    r.tr.classList.toggle('sounding', ch.keyOn);
  });
}

function showMutes(player) {
  const solo = player.soloChannel();
  rows.forEach((r, c) => {
    r.mute.checked = player.isMuted(c);
    r.solo.setAttribute('aria-pressed', String(solo === c));
    r.tr.classList.toggle('muted', player.isMuted(c));
  });
}

function showTime(player) {
  const total = player.duration;
  const shown = Number.isNaN(total) ? '…' : formatTime(total);
  ui.time.textContent = `${formatTime(player.position)} / ${shown}`;
  if (document.activeElement !== ui.seek || !ui.seek.dataset.dragging) {
    ui.seek.value = String(player.position);
  }
  ui.seek.setAttribute('aria-valuetext', `${formatTime(player.position)} of ${shown}`);
}

function showPlaying(player) {
  const playing = player.playing && !player.ended;
  ui.play.textContent = playing ? 'Pause' : 'Play';
  ui.play.setAttribute('aria-label', playing ? 'Pause' : 'Play');
  document.body.classList.toggle('paused', !playing);
}

async function openBytes(player, bytes, name) {
  try {
    await player.load(bytes, name);
    clearError();
    ui.now.textContent = name;
    for (const el of [ui.play, ui.seek]) el.disabled = false;
    // Space on the control that opened the song would open it again: it now pauses.
    ui.play.focus();
  } catch (e) {
    showError(`${name}: ${e.message}`);
  }
}

async function openFile(player, file) {
  if (!file) return;
  const bytes = new Uint8Array(await file.arrayBuffer());
  await openBytes(player, bytes, file.name);
}

// The bundled examples, fetched with the page so a click plays at once.
async function listExamples(player, page) {
  let list = [];
  try {
    const r = await fetch(new URL('examples/index.json', base));
    if (r.ok) list = await r.json();
  } catch {
    list = [];
  }
  for (const ex of list) {
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = ex.title ? `${ex.name}: ${ex.title}` : ex.name;
    button.dataset.example = ex.name;
    const bytes = fetch(new URL(`examples/${ex.file}`, base)).then((r) => r.arrayBuffer());
    bytes.catch(() => {});
    button.addEventListener('click', async (e) => {
      page.clickedAt = e.timeStamp;
      try {
        await openBytes(player, new Uint8Array(await bytes), ex.file);
      } catch (err) {
        showError(`${ex.file}: could not be fetched (${err.message})`);
      }
    });
    ui.examples.appendChild(button);
  }
}

function wireKeys(player) {
  const keys = new KeyMap();
  document.addEventListener('keydown', (e) => {
    if (e.ctrlKey || e.metaKey || e.altKey) return;
    // On the seek bar the arrows and Home seek as everywhere else.
    if (e.target !== ui.seek && controlOwnsKey(e.target, e.key)) return;
    const a = keys.action(e.key);
    if (!a) return;
    e.preventDefault();
    ui.hint.textContent = a.type === 'soloPending' ? 'Solo: press a channel 0-8' : '';
    switch (a.type) {
      case 'toggle': player.toggle(); break;
      case 'seekBy': player.seekBy(a.seconds); break;
      case 'restart': player.restart(); break;
      case 'mute': player.toggleMute(a.channel); break;
      case 'solo': player.solo(a.channel); break;
      case 'unmuteAll': player.unmuteAll(); break;
      case 'volumeBy': player.setVolume(player.volumeDb + a.db); break;
      case 'loopMode': player.cycleLoopMode(); break;
    }
    showPlaying(player);
    showTime(player);
  });
}

function wireDrop(player) {
  let depth = 0;
  document.addEventListener('dragenter', (e) => {
    e.preventDefault();
    if (++depth === 1) ui.drop.hidden = false;
  });
  document.addEventListener('dragleave', () => {
    if (--depth <= 0) {
      depth = 0;
      ui.drop.hidden = true;
    }
  });
  document.addEventListener('dragover', (e) => e.preventDefault());
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    depth = 0;
    ui.drop.hidden = true;
    const file = e.dataTransfer && e.dataTransfer.files[0];
    if (file) openFile(player, file);
  });
}

function wireControls(player) {
  ui.play.addEventListener('click', () => {
    player.toggle();
    showPlaying(player);
  });
  ui.file.addEventListener('change', () => openFile(player, ui.file.files[0]));
  ui.seek.addEventListener('input', () => {
    ui.seek.dataset.dragging = '1';
    ui.time.textContent = `${formatTime(Number(ui.seek.value))} / ${formatTime(player.duration)}`;
  });
  ui.seek.addEventListener('change', () => {
    delete ui.seek.dataset.dragging;
    player.seek(Number(ui.seek.value));
    showTime(player);
  });
  ui.volume.addEventListener('input', () => player.setVolume(Number(ui.volume.value)));
  const loops = () => player.setLoops(Number(ui.loops.value), Math.max(0, Number(ui.fade.value) || 0));
  ui.loops.addEventListener('change', loops);
  ui.fade.addEventListener('change', loops);
}

function wirePlayer(player, roll) {
  player.addEventListener('status', (e) => {
    showChannels(e.detail.channels);
    if (player.playing && !player.ended) roll.advance(e.detail.channels);
    showTime(player);
    showPlaying(player);
  });
  player.addEventListener('duration', () => {
    ui.seek.max = String(Number.isFinite(player.duration) ? player.duration : 3600);
    showTime(player);
  });
  player.addEventListener('load', () => {
    roll.clear();
    showPlaying(player);
  });
  player.addEventListener('ended', () => showPlaying(player));
  player.addEventListener('mute', () => showMutes(player));
  player.addEventListener('volume', () => {
    ui.volume.value = String(player.volumeDb);
    ui.volumeOut.textContent = formatDb(player.volumeDb);
  });
  player.addEventListener('loops', (e) => {
    ui.loops.value = String(e.detail.loops);
    ui.fade.value = String(e.detail.fade);
  });
  player.addEventListener('error', (e) => showError(e.detail));
}

async function main() {
  // What the tests and a curious reader can reach from the console.
  const page = { player: null, clickedAt: 0, firstSound: [] };
  globalThis.opl2page = page;
  const missing = missingFeature();
  if (missing) {
    showError(missing);
    return;
  }
  const player = new Player(await loadLibrary(base), base);
  page.player = player;
  const roll = new PianoRoll(ui.roll);
  addEventListener('resize', () => roll.resize());
  player.addEventListener('sound', () => {
    if (page.clickedAt) page.firstSound.push(performance.now() - page.clickedAt);
    page.clickedAt = 0;
  });
  buildChannelRows(player);
  wirePlayer(player, roll);
  wireControls(player);
  wireKeys(player);
  wireDrop(player);
  // The audio graph is made now, so that a click only has to resume it.
  player.prepare().catch((e) => showError(`The sound could not start: ${e.message}`));
  await listExamples(player, page);
  document.body.dataset.ready = '1';
}

main().catch((e) => showError(`The player could not start: ${e.message}`));
