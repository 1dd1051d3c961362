// Quillfeed's status page: asks /status.json every few seconds and shows it. Every value goes in
// as text (textContent), never as markup, and the chart is drawn from numbers alone.
'use strict';

const REFRESH_MS = 4000;
const SVG = 'http://www.w3.org/2000/svg';
let lastAnswer = null;

function byId(id) { return document.getElementById(id); }

function text(value) { return value === null || value === undefined ? '' : String(value); }

function count(value) {
  const n = Number(value);
  return Number.isFinite(n) ? n : 0;
}

// "2026-12-07T10:00:16" -> "10:00:16"
function clock(iso) { return typeof iso === 'string' && iso.length >= 19 ? iso.substring(11, 19) : ''; }

// 14074000 -> "14.074.000", as the window shows a dial frequency.
function hz(value) {
  const n = Number(value);
  if (!Number.isFinite(n) || n <= 0) return '';
  return Math.round(n).toString().replace(/\B(?=(\d{3})+(?!\d))/g, '.');
}

function cell(row, value, className) {
  const td = document.createElement('td');
  td.textContent = text(value);
  if (className) td.className = className;
  row.appendChild(td);
  return td;
}

function fillTable(id, rows, makeRow) {
  const body = byId(id).tBodies[0];
  const fresh = document.createElement('tbody');
  for (const item of rows) {
    const tr = document.createElement('tr');
    makeRow(tr, item);
    fresh.appendChild(tr);
  }
  body.replaceWith(fresh);
  byId(id + '-empty').hidden = rows.length > 0;
}

function fillList(id, pairs) {
  const list = byId(id);
  const fresh = document.createElement('dl');
  fresh.id = id;
  for (const [term, value] of pairs) {
    const dt = document.createElement('dt');
    dt.textContent = term;
    const dd = document.createElement('dd');
    dd.textContent = text(value);
    fresh.append(dt, dd);
  }
  list.replaceWith(fresh);
}

function showHealth(message, state) {
  const line = byId('health');
  line.textContent = message;
  line.className = 'health ' + (['ok', 'idle', 'attention'].includes(state) ? state : 'attention');
}

function svg(name, attributes) {
  const element = document.createElementNS(SVG, name);
  for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, String(value));
  return element;
}

// Decodes and spots per minute, oldest left: two bars a minute on one scale.
function drawChart(history) {
  const h = history || {};
  const decodes = Array.isArray(h.decodes) ? h.decodes.map(count) : [];
  const spots = Array.isArray(h.spots) ? h.spots.map(count) : [];
  const minutes = Math.max(decodes.length, spots.length, 1);
  const first = typeof h.firstMinute === 'string' ? h.firstMinute : '';
  const width = 600, height = 170, top = 16, bottom = 22, left = 36;
  const plot = height - top - bottom;
  const highest = Math.max(1, ...decodes, ...spots);
  const step = (width - left) / minutes;
  const picture = svg('svg', { id: 'hour', viewBox: `0 0 ${width} ${height}`, role: 'img',
                               'aria-label': 'Decodes and spots per minute, the last hour' });
  picture.appendChild(svg('line', { x1: left, y1: top + plot, x2: width, y2: top + plot, class: 'axis' }));
  const label = (x, y, value, anchor) => {
    const t = svg('text', { x, y, 'text-anchor': anchor });
    t.textContent = value;
    picture.appendChild(t);
  };
  label(left - 4, top + 5, String(highest), 'end');
  label(left - 4, top + plot, '0', 'end');
  // "HH:MM" of minute i, counted from the first.
  const minuteText = (i) => {
    const hm = /T(\d\d):(\d\d)/.exec(first);
    if (!hm) return '';
    const m = (Number(hm[1]) * 60 + Number(hm[2]) + i) % 1440;
    return String(Math.floor(m / 60)).padStart(2, '0') + ':' + String(m % 60).padStart(2, '0');
  };
  for (let i = 0; i < minutes; ++i) {
    const x = left + i * step;
    const d = plot * (decodes[i] || 0) / highest;
    const s = plot * (spots[i] || 0) / highest;
    picture.appendChild(svg('rect', { x: x + step * 0.1, y: top + plot - d, width: step * 0.45, height: d,
                                      class: 'bar decodes' }));
    picture.appendChild(svg('rect', { x: x + step * 0.55, y: top + plot - s, width: step * 0.35, height: s,
                                      class: 'bar spots' }));
    if (i === 0) label(x, height - 3, minuteText(i), 'start');
    if (i === Math.floor(minutes / 2)) label(x + step / 2, height - 3, minuteText(i), 'middle');
    if (i === minutes - 1) label(x + step, height - 3, minuteText(i), 'end');
  }
  byId('chart').replaceChildren(picture);
}

function show(s) {
  showHealth(text(s.health && s.health.text), s.health && s.health.state);
  byId('station').textContent = [text(s.callsign), text(s.locator)].join(' ').trim();
  byId('updated').textContent = 'Quillfeed ' + text(s.version) + ', ' + clock(s.time) +
      (s.monitoring ? ', listening on UDP port ' + text(s.udpPort) : ', not monitoring') +
      (s.multicastGroup ? ', multicast group ' + text(s.multicastGroup) : '');

  fillTable('radios', Array.isArray(s.radios) ? s.radios : [], (tr, r) => {
    cell(tr, r.id);
    cell(tr, r.dialFrequencyText);
    cell(tr, r.mode);
    cell(tr, count(r.heardSecondsAgo) + ' s ago');
    cell(tr, count(r.decodes), 'num');
    cell(tr, count(r.spots), 'num');
  });

  byId('replies').textContent = s.passReplies ? '(replies are passed back)' : '(replies are not passed back)';
  fillTable('relays', Array.isArray(s.relays) ? s.relays : [], (tr, r) => {
    cell(tr, text(r.target) + (r.main ? ' (main)' : ''));
    cell(tr, count(r.relayed), 'num');
    cell(tr, r.lastError ? clock(r.lastErrorTime) + ' ' + text(r.lastError) + ' (' + count(r.errors) + ' in all)' : '',
         r.lastError ? 'error' : '');
    cell(tr, count(r.repliesPassed), 'num');
    cell(tr, count(r.repliesRefused), 'num');
  });

  const spots = s.spots || {};
  const batch = spots.lastBatch;
  fillList('spots', [
    ['Sent this run', count(spots.sent)],
    ['Refused this run', count(spots.refused)],
    ['Waiting to go', count(spots.queued)],
    ['Last batch', batch ? clock(batch.time) + ', ' + count(batch.records) + ' records: ' + text(batch.outcome) : 'none yet'],
  ]);
  const qsos = s.qsos || {};
  const outbox = Array.isArray(qsos.outbox) ? qsos.outbox.map(text) : [];
  fillList('qsos', [
    ['Sent this run', count(qsos.sent)],
    ['Last sent', qsos.lastSent ? text(qsos.lastSent.call) + ' at ' + clock(qsos.lastSent.time) : 'none yet'],
    ['Waiting in the outbox', outbox.length ? outbox.length + ': ' + outbox.join(', ') : 'none'],
  ]);

  drawChart(s.history);

  fillTable('latest', Array.isArray(s.latestSpots) ? s.latestSpots : [], (tr, spot) => {
    cell(tr, clock(spot.time));
    cell(tr, spot.callsign);
    cell(tr, spot.locator);
    cell(tr, hz(spot.frequency), 'num');
    cell(tr, spot.mode);
    cell(tr, count(spot.snr), 'num');
  });
}

async function refresh() {
  try {
    const answer = await fetch('/status.json', { cache: 'no-store', credentials: 'omit' });
    if (!answer.ok) throw new Error('HTTP ' + answer.status);
    show(await answer.json());
    lastAnswer = new Date();
  } catch (e) {
    const since = lastAnswer ? ' since ' + lastAnswer.toLocaleTimeString() : '';
    showHealth('Quillfeed does not answer' + since + ': is it still running?', 'attention');
  }
  setTimeout(refresh, REFRESH_MS);
}

refresh();
