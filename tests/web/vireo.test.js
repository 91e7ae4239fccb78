const test = require('node:test'), assert = require('node:assert/strict');
// The script as the gateway serves it, its shared facts filled in by the build.
const v = require(process.env.VIREO_JS);

const example = { GameType: 'hl', HostName: '10.0.0.1', HostPort: '27015', RefreshInterval: '30000', Details: 'True', ExpandedHight: '1740' };
const settings = (over = {}, style = 'HEIGHT: 118px; WIDTH: 514px') => v.readSettings((n) => ({ ...example, ...over })[n] ?? null, style);

test('snippet values, heights and rows', () => {
  assert.ok(v.isVireoClassId(' clsid:5E81C0D4-37a2-4B19-8C6E-2F90A1D3B7E5') && !v.isVireoClassId('CLSID:5E81C0D4'));
  assert.deepEqual(['HEIGHT: 118px; WIDTH: 514px', 'width:1px;height:40px', 'LINE-HEIGHT: 9px', 'HEIGHT: 1em'].map(v.styleHeightPx), [118, 40, NaN, NaN]);
  const s = settings();
  assert.deepEqual([s.game, s.host, s.port, s.intervalMs, s.details, s.expandedHight], ['hl', '10.0.0.1', 27015, 30000, true, 1740]);
  assert.deepEqual([settings({ HostPort: '70000' }).port, settings({ Details: 'False' }).details, settings({ Details: null }).details, settings({ RefreshInterval: 'x' }).intervalMs], [0, false, true, 0]);
  const cases = [[{}, undefined, [43, 116, 118]], [{ Details: 'False' }, 'HEIGHT: 43px', [43, 116, 43]], [{ ExpandedHight: '99999' }, '', [43, 2184, 2184]], [{ ExpandedHight: '-5' }, '', [43, 43, 43]]];
  for (const [over, style, want] of cases) assert.deepEqual(Object.values(v.heights(settings(over, style))), want);
  assert.deepEqual([0, 50, 51, 116, 118, 9999].map((h) => v.rowsThatFit(h)), [0, 0, 0, 5, 5, 164]);
  assert.deepEqual([[0, 5], [-1, 0], [200, 0], [200, 5], [30000, 5]].map(([i, m]) => v.refreshMs(i, m)), [0, 0, 1000, 5000, 30000]);
  assert.deepEqual([settings({ HostName: 'a&b=c' }), settings({ HostName: ' ' })].map(v.statusPath), ['status.json?game=hl&host=a%26b%3Dc&port=27015', null]);
});

test('replies become texts and nothing else; the gateway words them', () => {
  const words = { stateText: 'online', tone: 'online', title: '<img src=x>', summary: 'q3dm17  ·  2/16 players  ·  Half-Life  ·  10.0.0.1:27015' };
  const body = { state: 'online', ...words, rows: [{ name: 'A', score: 3, ping: 40 }, { name: 7 }, null], minRefresh: 5, extra: { x: 1 } };
  const r = v.interpretReply(200, body), none = { name: '', score: 0, ping: 0 };
  assert.deepEqual(v.view(settings(), r, 116, true), { title: words.title, state: 'online', tone: 'online', summary: words.summary, rows: [body.rows[0], none, none], more: '', count: 3, namesOnly: false, icon: false, failed: false, wrap: false });
  // Why a server failed takes the rows' room in an open panel only.
  const away = v.interpretReply(200, { state: 'not answering', stateText: 'not answering', reason: 'no answer on 2456' });
  assert.deepEqual([true, false].map((open) => v.view(settings(), away, 116, open).wrap), [true, false]);
  const mc = v.view(settings(), v.interpretReply(200, { ...body, rowNumbers: false, icon: true }), 116, true);
  assert.deepEqual([mc.namesOnly, mc.icon], [true, true]);
  assert.deepEqual([[116, true, 7], [118, true, 5], [43, false, 7], [43, true, 7]].map(([h, open, n]) => v.view(settings(), { ...r, rows: Array(n).fill(none) }, h, open)).map((x) => [x.rows.length, x.more]), [[5, '+2 more'], [5, ''], [0, ''], [0, '']]);
  // Without an answer, or with one that lacks a title or summary, the panel says what it knows.
  const refused = v.interpretReply(400, { state: 'unknown game', stateText: 'unknown game type', tone: 'trouble', title: '', summary: '' });
  const states = [[null, 'querying…', 'dim'], [{ failed: true }, 'status unavailable', 'trouble'], [refused, 'unknown game type', 'trouble'],
    [v.interpretReply(400, { state: 'unknown game' }), 'status unavailable', 'trouble'], [v.interpretReply(502, body), 'status unavailable', 'trouble'], [v.interpretReply(200, 'x'), 'status unavailable', 'trouble']];
  for (const [reply, state, tone] of states) assert.deepEqual(Object.values(v.view(settings(), reply, 43, false)).slice(0, 4), ['10.0.0.1:27015', state, tone, 'Half-Life']);
  assert.deepEqual([v.view(settings({ HostName: '' }), null, 43, false).state, v.view(settings({ GameType: 'zz' }), null, 43, false).summary], ['not queried yet', 'zz']);
  assert.deepEqual(v.interpretReply(429, {}, '7'), { busy: true, retryAfter: 7 });
  assert.deepEqual([null, { failed: true }, refused, r].map((x) => v.view(settings(), x, 118, true).failed), [false, true, true, false]);
  // Twice the type: fewer rows (never none where there were some), a taller panel when it needs
  // the room, and a failed panel of one line.
  const seven = { ...r, rows: Array(7).fill(none) };
  assert.deepEqual([[118, 1], [118, 2], [200, 2], [43, 2]].map(([h, k]) => { const x = v.view(settings(), seven, h, true, k); return [x.rows.length, x.more, v.panelHeight(x, h, k)]; }),
    [[5, '+2 more', 118], [1, '+6 more', 128], [3, '+4 more', 200], [0, '', 86]]);
  assert.deepEqual([1, 2].map((k) => v.panelHeight(v.view(settings(), refused, 118, true, k), 118, k)), [22, 44]);
});

test('one request per refresh for every panel of a server, none while out of sight', async () => {
  let now = 0; const timers = []; const asked = [];
  const clock = { now: () => now, setTimeout: (f, ms) => timers.push({ f, at: now + ms }), clearTimeout: (t) => t && (timers[t - 1].f = null) };
  const hub = v.createHub(async (url) => { asked.push(url); return { state: 'online', stateText: 'online', rows: [], minRefresh: 5 }; }, clock);
  const panel = (intervalMs, seen = true) => ({ intervalMs, seen, got: 0, active() { return this.seen; }, show() { this.got++; } });
  const tick = async (to) => { now = to; for (const t of timers.filter((t) => t.f && t.at <= to)) { const f = t.f; t.f = null; await f(); } };
  const a = panel(1000), b = panel(60000), c = panel(0, false);
  hub.join('u', a); hub.join('u', b); hub.join('w', c);
  await tick(0); assert.deepEqual([asked.length, a.got, b.got, c.got], [1, 1, 1, 0]);
  await tick(4000); assert.equal(asked.length, 1, 'the gateway asks for at least five seconds');
  await tick(5000); assert.equal(asked.length, 2);
  a.seen = b.seen = false; hub.replan(); await tick(60000); assert.equal(asked.length, 2);
  a.seen = true; hub.replan(); await tick(60000); assert.equal(asked.length, 3);
  // A gateway that cannot be reached is asked again after 1, 2, 4... seconds, never slower than the panel.
  const at = []; const away = v.createHub(async () => { at.push(now); return at.length < 4 ? { failed: true } : { state: 'online', stateText: 'online', rows: [] }; }, clock);
  now = 100000; away.join('x', panel(3000));
  for (const t of [100000, 101000, 103000, 106000, 109000]) await tick(t);
  assert.deepEqual(at.map((t) => t - 100000), [0, 1000, 3000, 6000, 9000]);
});

test('an old answer is stale, a very old one no status; a refusal is settled', () => {
  assert.equal(v.interpretReply(403, { state: 'not allowed', stateText: 'not allowed' }).settled, true);
  const at = Date.parse('2026-12-10T08:00:00Z');
  const body = { state: 'online', stateText: 'online', tone: 'online', queriedAt: '2026-12-10T08:00:00Z', minRefresh: 5 };
  const seen = [45, 75, 151, 9000].map((s) => v.view(settings(), v.interpretReply(200, body, null, at + s * 1000), 43, false));
  assert.deepEqual(seen.map((x) => [x.state, x.tone]), [['online', 'online'], ['online (stale), 75 s old', 'dim'],
    ['status unavailable', 'trouble'], ['status unavailable', 'trouble']]);
  assert.equal(v.view(settings({ RefreshInterval: '600000' }), v.interpretReply(200, body, null, at + 1500000), 43, false).state, 'online (stale), 25 min old');
});

test('the preview, the banner, the JSON and the panel say the same for every state and game', () => {
  const cases = JSON.parse(require('node:child_process').execFileSync(process.env.SURFACE_CASES, { env: { ...process.env, QT_QPA_PLATFORM: 'offscreen' } }));
  assert.ok(cases.length > 50);
  for (const c of cases) {
    const s = v.readSettings((n) => c.settings[n] ?? null, '');
    const panel = v.view(s, v.interpretReply(c.reply.status, c.reply.body), c.heightPx, true);
    const words = { state: panel.state, title: panel.title, summary: panel.summary, more: panel.more };
    const json = c.reply.body;
    const seen = { panel: words, json: { state: json.stateText, title: json.title || words.title, summary: json.summary || words.summary, more: words.more } };
    if (c.preview) seen.preview = c.preview;
    // SVG cannot measure text: the banner cuts a long one short, with an ellipsis.
    const unelided = (said, whole) => (said.endsWith('…') && whole.startsWith(said.slice(0, -1)) ? whole : said);
    if (c.banner) seen.banner = Object.fromEntries(Object.entries(c.banner).map(([k, said]) => [k, unelided(said, words[k])]));
    for (const [surface, said] of Object.entries(seen)) assert.deepEqual(said, seen.panel, `${c.game}, ${c.case}: ${surface}`);
  }
});
