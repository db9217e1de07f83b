<?php
// Shared helpers of the local Kestrova stand-in: the user data file, XML
// replies, the store folder and safe names. Lives outside the document root
// so that it can never be requested on its own.

declare(strict_types=1);

const DS_MIN_THUMB = 100;
const DS_MAX_THUMB = 400;

function ds_fail(int $status, string $text): void
{
    http_response_code($status);
    header('Content-Type: text/plain; charset=UTF-8');
    echo $text, "\n";
    error_log('devservice: ' . $text);
    exit;
}

function ds_users_file(): string
{
    $path = getenv('DEVSERVICE_USERS');
    return ($path === false || $path === '') ? dirname(__DIR__) . '/users.json' : $path;
}

/** All users, keyed by name; each with password_md5, usergroup and albums. */
function ds_users(): array
{
    static $users = null;
    if ($users !== null) {
        return $users;
    }
    $file = ds_users_file();
    $text = @file_get_contents($file);
    if ($text === false) {
        ds_fail(500, "cannot read user data file $file");
    }
    $data = json_decode($text, true);
    if (!is_array($data) || !isset($data['users']) || !is_array($data['users'])) {
        ds_fail(500, "user data file $file is not a JSON object with \"users\"");
    }
    $users = [];
    foreach ($data['users'] as $name => $u) {
        $albums = [];
        foreach ((array)($u['albums'] ?? []) as $a) {
            $albums[] = [
                'id' => (int)($a['id'] ?? 0),
                'name' => (string)($a['name'] ?? ''),
                'description' => (string)($a['description'] ?? ''),
            ];
        }
        $users[(string)$name] = [
            'password_md5' => strtolower((string)($u['password_md5'] ?? '')),
            'usergroup' => (string)($u['usergroup'] ?? ''),
            'albums' => $albums,
        ];
    }
    return $users;
}

function ds_find_user(?string $name): ?array
{
    if ($name === null) {
        return null;
    }
    return ds_users()[$name] ?? null;
}

// The digest is compared as sent: the client is expected to send lower-case
// hex, so an upper-case digest is refused like any other wrong one.
function ds_digest_ok(array $user, ?string $digest): bool
{
    return $digest !== null && $user['password_md5'] !== ''
        && hash_equals($user['password_md5'], $digest);
}

/** The album with this id text, a private-folder record for "0", or null. */
function ds_find_album(array $user, ?string $aid): ?array
{
    if ($aid === null) {
        return null;
    }
    if ($aid === '0') {
        return ['id' => 0, 'name' => 'Private', 'description' => 'Private Folder'];
    }
    foreach ($user['albums'] as $a) {
        if ((string)$a['id'] === $aid) {
            return $a;
        }
    }
    return null;
}

function ds_xml(string $s): string
{
    return htmlspecialchars($s, ENT_XML1 | ENT_QUOTES | ENT_SUBSTITUTE, 'UTF-8');
}

function ds_send_xml(string $body): void
{
    header('Content-Type: text/xml; charset=UTF-8');
    echo '<?xml version="1.0" encoding="UTF-8"?>', "\n", $body, "\n";
}

/** Root of everything the stand-in stores; created on first use. */
function ds_store(): string
{
    $dir = getenv('DEVSERVICE_STORE');
    if ($dir === false || $dir === '') {
        $dir = sys_get_temp_dir() . '/devservice-store';
    }
    if (!is_dir($dir) && !@mkdir($dir, 0777, true) && !is_dir($dir)) {
        ds_fail(500, "cannot create store folder $dir");
    }
    return rtrim($dir, '/');
}

// The client's Host line carries no port, so addresses handed out always name
// the loopback address and the port this server listens on.
/** Where clients reach the stand-in: DEVSERVICE_BASE_URL (a TLS front's
 * "https://localhost:PORT"), else its own plain address. */
function ds_base_url(): string
{
    $base = getenv('DEVSERVICE_BASE_URL');
    return ($base === false || $base === '') ? 'http://127.0.0.1:' . ($_SERVER['SERVER_PORT'] ?? '80') : $base;
}

function ds_url_path(array $segments): string
{
    return '/' . implode('/', array_map('rawurlencode', $segments));
}

/**
 * A name that is safe as one path segment: no separators, no control bytes,
 * no leading dots (so never "." or ".." or hidden), valid UTF-8, bounded length.
 */
function ds_safe_segment(string $name, string $fallback = 'file'): string
{
    if (preg_match('//u', $name) !== 1) {
        // Not UTF-8: keep ASCII, replace every other byte.
        $name = preg_replace('/[\x80-\xff]/', '_', $name);
    }
    $name = preg_replace('/[\x00-\x1f\x7f\/\\\\]/', '_', $name);
    $name = ltrim(trim($name), '.');
    if (strlen($name) > 120) {
        // Cut at a character boundary: drop trailing continuation bytes.
        $name = substr($name, 0, 120);
        while ($name !== '' && preg_match('//u', $name) !== 1) {
            $name = substr($name, 0, -1);
        }
    }
    return $name === '' ? $fallback : $name;
}

function ds_not_found(string $what = 'not found'): void
{
    http_response_code(404);
    header('Content-Type: text/html; charset=UTF-8');
    echo '<!DOCTYPE html><html><head><title>404 Not Found</title></head><body><h1>Not Found</h1><p>',
        htmlspecialchars($what, ENT_QUOTES | ENT_SUBSTITUTE, 'UTF-8'), "</p></body></html>\n";
}
