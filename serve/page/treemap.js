// Squarified treemap layout: places items with a positive `value` into the rectangle
// (x, y, w, h) so that each gets an area proportional to its value and tiles stay close to
// square. Pure function; the page draws the rectangles it returns.
'use strict';
(function () {
  function worst(row, side, total, area) {
    // The largest aspect ratio of the row's tiles laid along a side of length `side`.
    const rowArea = row.reduce((s, r) => s + r.area, 0);
    const thick = rowArea / side;
    let worstRatio = 0;
    for (const r of row) {
      const length = r.area / thick;
      worstRatio = Math.max(worstRatio, thick / length, length / thick);
    }
    return worstRatio;
  }

  function layout(items, x, y, w, h) {
    const positive = items.filter((it) => it.value > 0).sort((a, b) => b.value - a.value);
    const total = positive.reduce((s, it) => s + it.value, 0);
    const out = [];
    if (total <= 0 || w <= 0 || h <= 0) return out;
    const scale = (w * h) / total;
    let rest = positive.map((it) => ({ item: it, area: it.value * scale }));
    while (rest.length > 0) {
      const side = Math.min(w, h);
      const row = [rest[0]];
      let i = 1;
      while (i < rest.length && worst(row.concat([rest[i]]), side) <= worst(row, side)) {
        row.push(rest[i]);
        i++;
      }
      rest = rest.slice(i);
      const rowArea = row.reduce((s, r) => s + r.area, 0);
      if (w >= h) {
        // A column at the left of the remaining rectangle.
        const thick = rest.length ? rowArea / h : w;
        let at = y;
        for (const r of row) {
          const length = rest.length ? r.area / thick : (r.area / rowArea) * h;
          out.push({ item: r.item, x: x, y: at, w: thick, h: length });
          at += length;
        }
        x += thick;
        w -= thick;
      } else {
        const thick = rest.length ? rowArea / w : h;
        let at = x;
        for (const r of row) {
          const length = rest.length ? r.area / thick : (r.area / rowArea) * w;
          out.push({ item: r.item, x: at, y: y, w: length, h: thick });
          at += length;
        }
        y += thick;
        h -= thick;
      }
    }
    return out;
  }

  window.LedraTreemap = { layout: layout };
})();
