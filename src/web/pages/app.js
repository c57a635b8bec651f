'use strict';
// The owner's pages: the board live over a WebSocket, today and the month
// from the server's reads. Read-only: nothing here changes the desk.
(function () {
  const stateNames = { ready: '완료', dayUse: '대실', overnight: '숙박', cleaning: '청소',
                       vacated: '퇴실', guestOut: '외출' };
  const kindNames = { dayUse: '대실', overnight: '숙박' };
  const $ = (id) => document.getElementById(id);
  const view = (location.pathname.replace('/', '') || 'board');
  const won = (n) => Number(n || 0).toLocaleString('ko-KR');
  // For the benchmarks: when each state reached the page.
  const measured = window.tavolenMeasured = { sequence: '', latencies: [] };

  document.querySelectorAll('nav a').forEach((a) => {
    if (a.dataset.view === view) a.classList.add('on');
  });
  const section = $('view-' + view);
  if (section) section.classList.add('on');

  function el(tag, cls, text) {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  function elapsedText(m) {
    return Math.floor(m / 60) + ':' + String(m % 60).padStart(2, '0');
  }

  const panels = new Map();
  function roomPanel(r) {
    let p = panels.get(r.slot);
    if (!p) {
      p = { box: el('div', 'room'), no: el('span'), door: el('span', 'door'), state: el('span', 'state'),
            kind: el('div', 'line'), since: el('div', 'line'), call: el('div', 'line call') };
      const head = el('div', 'no');
      head.append(p.no, p.door);
      p.box.append(head, p.state, p.kind, p.since, p.call);
      p.box.id = 'room-' + r.slot;
      panels.set(r.slot, p);
    }
    return p;
  }

  function setText(e, t) { if (e.textContent !== t) e.textContent = t; }

  function showRooms(rooms) {
    const box = $('rooms');
    const seen = new Set();
    let dayUse = 0, overnight = 0;
    rooms.forEach((r, i) => {
      const p = roomPanel(r);
      seen.add(r.slot);
      if (box.children[i] !== p.box) box.insertBefore(p.box, box.children[i] || null);
      setText(p.no, r.number + '호');
      setText(p.door, r.door ? '문열림' : '');
      setText(p.state, stateNames[r.state] || r.state);
      p.state.dataset.state = r.state;
      p.state.style.background = r.back;
      p.state.style.color = r.fore;
      setText(p.kind, '종류 ' + (kindNames[r.kind] || r.kind) + (r.checkout ? '  퇴실 ' + r.checkout : ''));
      setText(p.since, r.start ? r.start.slice(11) + ' 입실 · ' + elapsedText(r.elapsed) : '');
      setText(p.call, r.call ? '모닝콜 ' + r.call.slice(5) : '');
      if (r.state !== 'ready') { if (r.kind === 'overnight') overnight++; else dayUse++; }
    });
    for (const [slot, p] of panels) if (!seen.has(slot)) { p.box.remove(); panels.delete(slot); }
    setText($('counts'), '대실 ' + dayUse + '  숙박 ' + overnight + '  (' + rooms.length + '실)');
  }

  function showLog(lines) {
    const list = $('logLines');
    list.replaceChildren(...lines.slice().reverse().map((l) => {
      const li = el('li', '', l.text);
      li.style.color = l.color;
      return li;
    }));
  }

  function showStatus(s) {
    setText($('business'), s.business || 'Tavolen');
    const link = $('link');
    link.className = 'link ' + (s.controller.connected ? 'up' : 'down');
    setText(link, '컨트롤러 ' + (s.controller.connected ? '연결됨' : '끊김') +
            (s.controller.port ? ' (' + s.controller.port + ')' : ''));
    setText($('lastReport'), '마지막 신호 ' + (s.controller.lastReport || '없음'));
    const central = $('central');
    central.hidden = !s.central;
    central.className = 'link ' + (s.central && s.central.healthy ? 'up' : 'down');
    setText(central, s.central ? s.central.text : '');
    const warning = $('warning');
    warning.hidden = !s.storageWarning;
    setText(warning, s.storageWarning || '');
  }

  function apply(s) {
    showStatus(s);
    showRooms(s.rooms);
    showLog(s.log);
    measured.sequence = s.sequence;
    if (s.takenAt) {
      measured.latencies.push([s.sequence, Date.now() - s.takenAt]);
      if (measured.latencies.length > 20000) measured.latencies.shift();
    }
    document.body.dataset.sequence = s.sequence;
  }

  function connect() {
    const live = $('live');
    const ws = new WebSocket((location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/ws');
    ws.onopen = () => { live.className = 'live'; setText(live, '실시간'); };
    ws.onmessage = (m) => { try { apply(JSON.parse(m.data)); } catch (e) { console.error(e); } };
    ws.onclose = (e) => {
      live.className = 'live off';
      setText(live, '연결 끊김');
      if (e.code === 1008 || e.code === 1000) { location.href = '/login'; return; }
      setTimeout(connect, 2000);
    };
  }

  async function getJson(url) {
    const r = await fetch(url, { credentials: 'same-origin' });
    if (r.status === 401) { location.href = '/login'; throw new Error('signed out'); }
    const j = await r.json();
    if (!r.ok) throw new Error(j.error || r.status);
    return j;
  }

  function sums(box, items) {
    box.replaceChildren(...items.map(([label, value]) => {
      const d = el('div', '', label);
      d.append(el('b', '', value));
      return d;
    }));
  }

  function row(cells) {
    const tr = el('tr');
    cells.forEach(([text, cls]) => tr.append(el('td', cls || '', text)));
    return tr;
  }

  async function showToday() {
    try {
      const t = await getJson('/api/today');
      setText($('todayTitle'), '일합계 ' + t.from + ' ~ ' + t.to);
      sums($('todaySums'), [['대실', won(t.dayUseSum)], ['숙박', won(t.overnightSum)],
        ['합계', won(t.total)], ['취소 ' + t.cancelledCount + '건', won(t.cancelledSum)],
        ['교체 ' + t.movedCount + '건', won(t.movedSum)], ['회전율', t.turnover]]);
      $('todaySums').dataset.total = t.total;
      setText($('todayFigures'), t.figures);
      $('dayXlsx').href = '/download/day.xlsx?date=' + t.reportDate;
      $('dayPdf').href = '/download/day.pdf?date=' + t.reportDate;
      $('changes').tBodies[0].replaceChildren(...t.changes.map((c) => row([[c.time], [c.room + '호'],
        [c.action], [c.source === 'controller' ? '컨트롤러' : '카운터']])));
      $('stays').tBodies[0].replaceChildren(...t.stays.map((s) => row([[s.room + '호'], [s.start.slice(5)],
        [s.end ? s.end.slice(5) + (s.note ? ' ' + s.note : '') : ''],
        [s.action === '대실' ? won(s.cash) : '0', 'n day'], [s.action === '대실' ? '0' : won(s.cash), 'n night']])));
    } catch (e) { setText($('todayFigures'), '읽을 수 없습니다: ' + e.message); }
  }

  async function showMonth(which) {
    try {
      const m = await getJson('/api/month' + (which ? '?m=' + encodeURIComponent(which) : ''));
      const box = $('monthBox');
      box.replaceChildren(...m.months.map((t) => { const o = el('option', '', t); o.value = t; return o; }));
      box.value = m.month;
      sums($('monthSums'), [['대실', won(m.dayUseSum)], ['숙박', won(m.overnightSum)], ['총합', won(m.total)]]);
      $('monthSums').dataset.total = m.total;
      const top = Math.max(1, ...m.days.map((d) => d[1] + d[2]));
      $('chart').replaceChildren(...m.days.map((d) => {
        const bar = el('div', 'bar');
        bar.title = d[0] + '일 ' + won(d[1] + d[2]);
        const day = el('i', 'd'); day.style.height = (d[1] / top * 170) + 'px';
        const night = el('i', 's'); night.style.height = (d[2] / top * 170) + 'px';
        bar.append(day, night);
        return bar;
      }));
      $('days').tBodies[0].replaceChildren(...m.days.map((d) => row([[d[0] + '일'],
        [won(d[1]), 'n day'], [won(d[2]), 'n night'], [won(d[1] + d[2]), 'n']])),
        row([['총합'], [won(m.dayUseSum), 'n day'], [won(m.overnightSum), 'n night'], [won(m.total), 'n']]));
      $('monthXlsx').href = '/download/month.xlsx?m=' + m.reportMonth;
      $('monthPdf').href = '/download/month.pdf?m=' + m.reportMonth;
    } catch (e) { setText($('monthSums'), '읽을 수 없습니다: ' + e.message); }
  }

  connect();
  // An account that only reads is offered no downloads.
  if (view === 'today' || view === 'month') {
    getJson('/api/me').then((me) => {
      if (!me.downloads) document.querySelectorAll('.downloads').forEach((p) => { p.hidden = true; });
    }).catch(() => {});
  }
  if (view === 'today') { showToday(); setInterval(showToday, 30000); }
  if (view === 'month') {
    showMonth('');
    $('monthBox').addEventListener('change', (e) => showMonth(e.target.value));
  }
}());
