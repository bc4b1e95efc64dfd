// The page of `ledra serve`. It asks the JSON API only, and builds everything it shows
// from DOM nodes with names as text nodes: a name on a catalogued disk is never markup.
'use strict';
(function () {
  const main = document.getElementById('main');
  const DAY = 86400;
  let searchAbort = null;
  let searchGeneration = 0;  // answers to an earlier query are dropped
  const scanRoots = new Map();  // volume selector -> the full path of its scan root

  // el('td', {className: 'x'}, 'text', child...): an element; strings become text nodes.
  function el(tag, props, ...children) {
    const node = document.createElement(tag);
    for (const [key, value] of Object.entries(props || {})) {
      if (key === 'dataset') Object.assign(node.dataset, value);
      else if (key === 'onclick' || key === 'oninput' || key === 'onchange') node[key] = value;
      else node[key] = value;
    }
    for (const child of children) {
      if (child === null || child === undefined) continue;
      node.appendChild(typeof child === 'string' ? document.createTextNode(child) : child);
    }
    return node;
  }

  function clear(node) {
    while (node.firstChild) node.removeChild(node.firstChild);
  }

  function api(endpoint, params, signal) {
    const query = new URLSearchParams();
    for (const [k, v] of Object.entries(params || {})) {
      if (v !== '' && v !== undefined && v !== null && v !== false) query.set(k, String(v));
    }
    return fetch('/api/' + endpoint + '?' + query.toString(), { signal: signal })
      .then((r) => r.json().then((body) => {
        if (!r.ok) throw new Error(body.error || ('HTTP ' + r.status));
        return body;
      }));
  }

  function humanSize(n) {
    if (n === null || n === undefined) return '';
    const units = ['B', 'KiB', 'MiB', 'GiB', 'TiB', 'PiB'];
    let v = Number(n);
    let u = 0;
    while (v >= 1024 && u < units.length - 1) { v /= 1024; u++; }
    return (u === 0 ? String(v) : v.toFixed(1)) + ' ' + units[u];
  }

  function ago(epoch) {
    const s = Math.max(0, Date.now() / 1000 - epoch);
    if (s < 3600) return Math.round(s / 60) + ' min ago';
    if (s < DAY) return Math.round(s / 3600) + ' h ago';
    return Math.round(s / DAY) + ' days ago';
  }

  function when(iso) { return iso ? iso.replace('T', ' ').replace('Z', ' UTC') : ''; }

  function link(text, hash, props) {
    return el('a', Object.assign({ href: hash }, props || {}), text);
  }

  function route(view, params) {
    return '#/' + view + (params ? '?' + new URLSearchParams(params).toString() : '');
  }

  function messages(body) {
    const box = el('div', { className: 'messages' });
    // A subcommand may report one damaged catalogue at each of its steps: once is enough.
    for (const m of new Set(body.messages || [])) box.appendChild(el('p', { className: 'message' }, m));
    if (body.complete === false && !body.more) {
      box.appendChild(el('p', { className: 'message' }, 'The answer was cut short.'));
    }
    return box;
  }

  // A table whose columns can be sorted by clicking their headings.
  function sortableTable(columns, rows, rowOf, id) {
    const table = el('table', { id: id || '' });
    const head = el('tr');
    const body = el('tbody');
    let order = { index: -1, down: false };
    function fill() {
      clear(body);
      const sorted = rows.slice();
      if (order.index >= 0) {
        const key = columns[order.index].key;
        sorted.sort((a, b) => {
          const x = key(a);
          const y = key(b);
          const c = typeof x === 'number' && typeof y === 'number' ? x - y
            : String(x).localeCompare(String(y));
          return order.down ? -c : c;
        });
      }
      for (const r of sorted) body.appendChild(rowOf(r));
    }
    columns.forEach((c, i) => {
      head.appendChild(el('th', {
        onclick: () => { order = { index: i, down: order.index === i ? !order.down : c.numeric }; fill(); },
      }, c.title));
    });
    table.appendChild(el('thead', {}, head));
    table.appendChild(body);
    fill();
    return table;
  }

  function cell(text, numeric, className) {
    return el('td', { className: (numeric ? 'number ' : '') + (className || '') }, text);
  }

  function exportLinks(volume) {
    const box = el('span', { className: 'links' });
    for (const format of ['csv', 'jsonl', 'ncdu', 'sqlite']) {
      const a = el('a', {
        href: '/api/export?' + new URLSearchParams({ volume: volume, format: format }).toString(),
        className: 'export-' + format,
      }, format);
      a.download = '';
      box.appendChild(a);
    }
    return box;
  }

  // ---- Volumes -------------------------------------------------------------------------
  function showVolumes() {
    api('volumes').then((body) => {
      clear(main);
      main.appendChild(el('h2', {}, 'Volumes'));
      const columns = [
        { title: 'Name', key: (v) => v.volume },
        { title: 'Volume name', key: (v) => v.volume_name },
        { title: 'Serial', key: (v) => v.serial },
        { title: 'Root', key: (v) => v.root },
        { title: 'Catalogued', key: (v) => v.catalogued_epoch, numeric: true },
        { title: 'Free', key: (v) => v.free_bytes, numeric: true },
        { title: 'Folders', key: (v) => v.folders || 0, numeric: true },
        { title: 'Files', key: (v) => v.files || 0, numeric: true },
        { title: 'Total size', key: (v) => v.total_size || 0, numeric: true },
        { title: 'Version', key: (v) => v.version, numeric: true },
        { title: 'Also', key: (v) => v.catalog },
      ];
      main.appendChild(sortableTable(columns, body.results, (v) => {
        const old = Date.now() / 1000 - v.catalogued_epoch > 30 * DAY;
        return el('tr', { className: 'volume' },
          el('td', { className: 'name' }, link(v.volume, route('browse', { volume: v.catalog, path: '' }), { className: 'open-volume' })),
          cell(v.volume_name, false, 'name'), cell(v.serial), cell(v.root, false, 'name'),
          el('td', { className: old ? 'old' : '' }, when(v.catalogued) + ' (' + ago(v.catalogued_epoch) + ')'),
          cell(humanSize(v.free_bytes), true), cell(String(v.folders ?? ''), true),
          cell(String(v.files ?? ''), true), cell(humanSize(v.total_size), true),
          cell(String(v.version), true),
          el('td', { className: 'links' },
            link('changes', route('changes', { volume: v.catalog })),
            link('unique', route('unique', { volume: v.catalog })), exportLinks(v.catalog)));
      }, 'volumes'));
      if (body.damaged.length) {
        main.appendChild(el('h3', {}, 'Damaged catalogues'));
        const t = el('table', { id: 'damaged' });
        for (const d of body.damaged) {
          t.appendChild(el('tr', { className: 'damaged' }, cell(d.catalog, false, 'name'), cell(d.message, false, 'name')));
        }
        main.appendChild(t);
      }
      main.appendChild(messages(body));
    }).catch(showError);
  }

  // ---- Search ------------------------------------------------------------------------
  function showSearch(params) {
    clear(main);
    main.appendChild(el('h2', {}, 'Search'));
    const box = el('input', { type: 'search', id: 'search-box', placeholder: 'part of a name, or * ? [set]', value: params.get('q') || '' });
    const type = el('select', { id: 'filter-type' }, el('option', { value: '' }, 'files and folders'), el('option', { value: 'f' }, 'files'), el('option', { value: 'd' }, 'folders'));
    const size = el('input', { type: 'text', id: 'filter-size', placeholder: 'size: +1M, -10K', size: 10 });
    const newer = el('input', { type: 'date', id: 'filter-newer', title: 'modified after' });
    const older = el('input', { type: 'date', id: 'filter-older', title: 'modified before' });
    const volume = el('select', { id: 'filter-volume' }, el('option', { value: '' }, 'every volume'));
    const regex = el('input', { type: 'checkbox', id: 'filter-regex' });
    const wholePath = el('input', { type: 'checkbox', id: 'filter-path' });
    main.appendChild(el('div', { className: 'filters' }, box, type, size,
      el('label', {}, 'after ', newer), el('label', {}, 'before ', older), volume,
      el('label', {}, regex, ' regular expression'), el('label', {}, wholePath, ' whole path')));
    const status = el('p', { className: 'status', id: 'search-status' });
    const results = el('tbody', { id: 'search-results' });
    main.appendChild(status);
    main.appendChild(el('table', {}, el('thead', {}, el('tr', {}, el('th', {}, 'Volume'), el('th', {}, 'Path'), el('th', {}, 'Size'), el('th', {}, 'Modified'), el('th', {}, ''))), results));
    api('volumes').then((body) => {
      for (const v of body.results) volume.appendChild(el('option', { value: v.catalog }, v.volume));
    }).catch(() => {});
    let timer = null;
    function run() {
      if (searchAbort) searchAbort.abort();
      searchAbort = new AbortController();
      const signal = searchAbort.signal;
      const generation = ++searchGeneration;
      clear(results);
      const filters = {
        type: type.value, size: size.value.trim(), newer: newer.value, older: older.value,
        volume: volume.value, path: wholePath.checked ? 1 : '',
      };
      if (regex.checked) filters.regex = box.value; else filters.q = box.value;
      if (!box.value && !filters.size && !filters.newer && !filters.older) {
        status.textContent = 'Type part of a name.';
        return;
      }
      status.textContent = 'Searching…';
      let shown = 0;
      // The first page comes fast; the next ones follow while nothing new is typed.
      function page(offset, limit) {
        return api('find', Object.assign({ offset: offset, limit: limit }, filters), signal).then((body) => {
          if (generation !== searchGeneration) return null;
          for (const r of body.results) results.appendChild(resultRow(r));
          shown += body.results.length;
          status.textContent = shown + (body.more ? '+ found' : ' found');
          if (body.messages.length) status.appendChild(messages(body));
          if (body.more && shown < 1000) return page(offset + limit, 200);
          return null;
        });
      }
      page(0, 50).catch((e) => {
        if (e.name !== 'AbortError' && generation === searchGeneration) status.textContent = e.message;
      });
    }
    function later() {
      clearTimeout(timer);
      timer = setTimeout(run, 150);
    }
    for (const input of [box, size]) input.oninput = later;
    for (const input of [type, newer, older, volume, regex, wholePath]) input.onchange = later;
    box.focus();
    if (box.value) run();
  }

  function resultRow(r) {
    const open = el('a', { href: '#', className: 'open-folder' }, 'open folder');
    open.onclick = (event) => {
      event.preventDefault();
      folderOf(r).then((path) => { location.hash = route('browse', { volume: r.catalog, path: path }); })
        .catch(showError);
    };
    return el('tr', { className: 'result' }, cell(r.volume, false, 'name'), cell(r.path, false, 'name result-path'),
      cell(r.type === 'folder' ? '' : humanSize(r.size), true), cell(when(r.modified)), el('td', {}, open));
  }

  // The full path of the scan root of `volume`: the path of the first row of its `du`.
  function scanRoot(volume) {
    if (scanRoots.has(volume)) return Promise.resolve(scanRoots.get(volume));
    return api('du', { volume: volume, depth: 0 }).then((body) => {
      const root = body.results.length ? body.results[0].path : '';
      scanRoots.set(volume, root);
      return root;
    });
  }

  // The folder of a found entry, below its scan root.
  function folderOf(r) {
    return scanRoot(r.catalog).then((root) => {
      let rest = r.path.startsWith(root) ? r.path.slice(root.length) : r.path;
      rest = rest.replace(/^[\/\\]/, '');
      const cut = Math.max(rest.lastIndexOf('/'), rest.lastIndexOf('\\'));
      return cut < 0 ? '' : rest.slice(0, cut);
    });
  }

  // ---- Browse --------------------------------------------------------------------------
  function showBrowse(params) {
    const volume = params.get('volume') || '';
    const path = params.get('path') || '';
    clear(main);
    const parts = path ? path.split(/[\/\\]/) : [];
    const bar = el('div', { className: 'pathbar', id: 'pathbar' }, link(volume, route('browse', { volume: volume, path: '' })));
    parts.forEach((p, i) => {
      bar.appendChild(el('span', {}, '/'));
      bar.appendChild(link(p, route('browse', { volume: volume, path: parts.slice(0, i + 1).join('/') }), { className: 'name' }));
    });
    main.appendChild(el('h2', {}, 'Browse'));
    main.appendChild(bar);
    const map = el('div', { className: 'treemap', id: 'treemap' });
    main.appendChild(map);
    const status = el('p', { className: 'status' });
    main.appendChild(status);
    const body = el('tbody', { id: 'entries' });
    main.appendChild(el('table', {}, el('thead', {}, el('tr', {}, el('th', {}, 'Name'), el('th', {}, 'Size'), el('th', {}, 'Files'), el('th', {}, 'Modified'))), body));
    const more = el('button', { id: 'more-entries', hidden: true }, 'Show more');
    main.appendChild(more);
    const child = (name) => (path ? path + '/' + name : name);

    api('du', { volume: volume, path: path, depth: 1, limit: 2000 }).then((du) => {
      if (!du.results.length) { status.appendChild(messages(du)); return; }
      const here = du.results[0].path;
      const subfolders = du.results.slice(1).map((r) => ({
        name: r.path.slice(here.length).replace(/^[\/\\]/, ''), value: r.size, files: r.files,
      }));
      drawTreemap(map, subfolders, (name) => { location.hash = route('browse', { volume: volume, path: child(name) }); });
    }).catch(showError);

    let offset = 0;
    function page() {
      api('ls', { volume: volume, path: path, sort: 'size', offset: offset, limit: 200 }).then((ls) => {
        for (const e of ls.results) {
          const name = e.type === 'folder'
            ? link(e.name, route('browse', { volume: volume, path: child(e.name) }), { className: 'folder' })
            : e.name;
          body.appendChild(el('tr', { className: 'entry' }, el('td', { className: 'name' }, name),
            cell(humanSize(e.size), true), cell(e.files === null ? '' : String(e.files), true), cell(when(e.modified))));
        }
        offset += ls.results.length;
        more.hidden = !ls.more;
        status.textContent = offset + (ls.more ? '+ entries, largest first' : ' entries, largest first');
        // Reports on other catalogues matter here only when this folder could not be read.
        if (ls.messages.length && !ls.results.length && offset === 0) status.appendChild(messages(ls));
      }).catch(showError);
    }
    more.onclick = page;
    page();
  }

  function drawTreemap(box, items, open) {
    clear(box);
    const w = box.clientWidth;
    const h = box.clientHeight;
    for (const t of window.LedraTreemap.layout(items, 0, 0, w, h)) {
      // A tile too small for its name keeps it in its tooltip only.
      const roomy = t.w >= 48 && t.h >= 30;
      const tile = el('div', { className: 'tile name', title: t.item.name + ' — ' + humanSize(t.item.value) },
        roomy ? t.item.name : null, roomy ? el('br') : null, roomy ? humanSize(t.item.value) : null);
      tile.dataset.name = t.item.name;
      tile.style.left = t.x + 'px';
      tile.style.top = t.y + 'px';
      tile.style.width = t.w + 'px';
      tile.style.height = t.h + 'px';
      tile.onclick = () => open(t.item.name);
      box.appendChild(tile);
    }
  }

  // ---- Changes, copies, unique ---------------------------------------------------------
  // A table with the columns of the answer's JSON objects, in their order.
  function jsonTable(rows, id) {
    const keys = [];
    for (const r of rows) for (const k of Object.keys(r)) if (!keys.includes(k)) keys.push(k);
    return sortableTable(keys.map((k) => ({ title: k, key: (r) => r[k] ?? '', numeric: true })), rows, (r) =>
      el('tr', {}, ...keys.map((k) => {
        const v = r[k];
        return cell(v === null || v === undefined ? '' : String(v), typeof v === 'number', typeof v === 'string' ? 'name' : '');
      })), id);
  }

  function showAnswer(title, endpoint, params, id) {
    clear(main);
    main.appendChild(el('h2', {}, title));
    const status = el('p', { className: 'status' }, 'Reading the catalogues…');
    main.appendChild(status);
    api(endpoint, Object.assign({ limit: 2000 }, params)).then((body) => {
      status.textContent = body.results.length + (body.more ? '+ rows' : ' rows');
      main.appendChild(messages(body));
      main.appendChild(jsonTable(body.results, id));
    }).catch(showError);
  }

  function showError(e) {
    main.appendChild(el('p', { className: 'message' }, String(e && e.message ? e.message : e)));
  }

  function show() {
    const hash = location.hash || '#/volumes';
    const [view, query] = hash.slice(2).split('?');
    const params = new URLSearchParams(query || '');
    for (const a of document.querySelectorAll('header a')) a.className = a.id === 'nav-' + view ? 'current' : '';
    if (searchAbort && view !== 'search') searchAbort.abort();
    if (view === 'search') showSearch(params);
    else if (view === 'browse') showBrowse(params);
    else if (view === 'dupes') showAnswer('Copies: files held more than once', 'dupes', {}, 'dupes');
    else if (view === 'unique') showAnswer('Only on ' + (params.get('volume') || ''), 'unique', { volume: params.get('volume') || '' }, 'unique');
    else if (view === 'changes') showAnswer('Changes since the backup of ' + (params.get('volume') || ''), 'diff', { volume: params.get('volume') || '' }, 'changes');
    else showVolumes();
  }

  window.addEventListener('hashchange', show);
  show();
})();
