<?php
// Serves a stored file back, confined to STORE/files.

declare(strict_types=1);

const DS_TYPES_BY_EXTENSION = [
    'jpg' => 'image/jpeg', 'jpeg' => 'image/jpeg', 'jpe' => 'image/jpeg',
    'png' => 'image/png', 'gif' => 'image/gif', 'bmp' => 'image/bmp',
    'webp' => 'image/webp', 'tif' => 'image/tiff', 'tiff' => 'image/tiff',
];

function ds_content_type(string $file): string
{
    // Every stored file went through GD, so its own bytes name the type best.
    $info = @getimagesize($file);
    if ($info !== false && !empty($info['mime'])) {
        return $info['mime'];
    }
    $ext = strtolower(pathinfo($file, PATHINFO_EXTENSION));
    return DS_TYPES_BY_EXTENSION[$ext] ?? 'application/octet-stream';
}

/** $rawPath: the request path after "/files/", still percent-encoded. */
function ds_serve_stored(string $rawPath): void
{
    $relative = rawurldecode($rawPath);
    $root = realpath(ds_store() . '/files');
    if ($relative === '' || strpos($relative, "\0") !== false || $root === false) {
        ds_not_found();
        return;
    }
    // realpath resolves "..", "." and links, so the prefix test is final.
    $full = realpath($root . '/' . $relative);
    if ($full === false || strncmp($full, $root . '/', strlen($root) + 1) !== 0 || !is_file($full)) {
        ds_not_found();
        return;
    }
    header('Content-Type: ' . ds_content_type($full));
    header('Content-Length: ' . filesize($full));
    if (($_SERVER['REQUEST_METHOD'] ?? 'GET') !== 'HEAD') {
        readfile($full);
    }
}
